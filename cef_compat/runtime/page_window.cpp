#include "runtime/page_window.h"

#include <windowsx.h>

#include <cstring>
#include <string>
#include <utility>

namespace cefcompat {
namespace {

const wchar_t kWindowClass[] = L"CefCompatPageWindow";

struct CButtonMessage {
    UINT message;
    cef_mouse_button_type_t button;
    bool up;
    int clickCount; // 0: the count of the press before
};

const CButtonMessage kButtonMessages[] = {
    {WM_LBUTTONDOWN, MBT_LEFT, false, 1},     {WM_LBUTTONDBLCLK, MBT_LEFT, false, 2},
    {WM_LBUTTONUP, MBT_LEFT, true, 0},        {WM_MBUTTONDOWN, MBT_MIDDLE, false, 1},
    {WM_MBUTTONDBLCLK, MBT_MIDDLE, false, 2}, {WM_MBUTTONUP, MBT_MIDDLE, true, 0},
    {WM_RBUTTONDOWN, MBT_RIGHT, false, 1},    {WM_RBUTTONDBLCLK, MBT_RIGHT, false, 2},
    {WM_RBUTTONUP, MBT_RIGHT, true, 0},
};

// The keys and buttons held, as CEF's event flags.
uint32_t HeldFlags()
{
    const std::pair<int, uint32_t> keys[] = {
        {VK_SHIFT, EVENTFLAG_SHIFT_DOWN},
        {VK_CONTROL, EVENTFLAG_CONTROL_DOWN},
        {VK_MENU, EVENTFLAG_ALT_DOWN},
        {VK_LBUTTON, EVENTFLAG_LEFT_MOUSE_BUTTON},
        {VK_MBUTTON, EVENTFLAG_MIDDLE_MOUSE_BUTTON},
        {VK_RBUTTON, EVENTFLAG_RIGHT_MOUSE_BUTTON},
    };
    uint32_t flags = 0;
    for (const auto& key : keys) {
        if (GetKeyState(key.first) < 0)
            flags |= key.second;
    }
    return flags;
}

ATOM RegisterPageWindowClass(WNDPROC proc)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc);
}

} // namespace

CPageWindow::CPageWindow(std::function<void()> onClose, std::function<void()> onResize)
    : m_onClose(std::move(onClose)),
      m_onResize(std::move(onResize))
{
}

std::unique_ptr<CPageWindow> CPageWindow::Create(const cef_window_info_t& info, const wchar_t* defaultTitle,
                                                 std::function<void()> onClose, std::function<void()> onResize)
{
    static const ATOM atom = RegisterPageWindowClass(&CPageWindow::WindowProc);
    if (!atom)
        return nullptr;
    std::unique_ptr<CPageWindow> window(new CPageWindow(std::move(onClose), std::move(onResize)));
    const std::wstring title = info.window_name.length ? std::wstring(info.window_name.str, info.window_name.length)
                                                       : std::wstring(defaultTitle);
    // A window description left at zero (a default popup) still gets a usable window.
    const DWORD style = info.style ? info.style : (WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    const bool zeroRect = !info.x && !info.y && !info.width && !info.height;
    HWND hwnd = CreateWindowExW(info.ex_style, kWindowClass, title.c_str(), style, zeroRect ? CW_USEDEFAULT : info.x,
                                zeroRect ? CW_USEDEFAULT : info.y, zeroRect ? CW_USEDEFAULT : info.width,
                                zeroRect ? CW_USEDEFAULT : info.height, info.parent_window,
                                (style & WS_CHILD) ? nullptr : info.menu, GetModuleHandleW(nullptr), window.get());
    if (!hwnd)
        return nullptr;
    window->m_hwnd.Reset(hwnd);
    return window;
}

CPageWindow::~CPageWindow()
{
    if (m_hwnd)
        SetWindowLongPtrW(m_hwnd.Get(), GWLP_USERDATA, 0);
}

bool CPageWindow::ClientSize(int* width, int* height) const
{
    RECT rect;
    if (!m_hwnd || !GetClientRect(m_hwnd.Get(), &rect))
        return false;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return true;
}

void CPageWindow::Show(const void* bgra, int width, int height)
{
    if (!bgra || width <= 0 || height <= 0)
        return;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    m_pixels.assign(static_cast<const unsigned char*>(bgra), static_cast<const unsigned char*>(bgra) + bytes);
    m_width = width;
    m_height = height;
    if (m_hwnd)
        InvalidateRect(m_hwnd.Get(), nullptr, FALSE);
}

void CPageWindow::BringToFront()
{
    if (!m_hwnd)
        return;
    ShowWindow(m_hwnd.Get(), SW_SHOW);
    SetForegroundWindow(m_hwnd.Get());
}

void CPageWindow::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd.Get(), &ps);
    if (dc && !m_pixels.empty()) {
        BITMAPINFO info;
        std::memset(&info, 0, sizeof(info));
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = m_width;
        info.bmiHeader.biHeight = -m_height; // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(m_width), static_cast<DWORD>(m_height), 0, 0, 0,
                          static_cast<UINT>(m_height), m_pixels.data(), &info, DIB_RGB_COLORS);
    }
    EndPaint(m_hwnd.Get(), &ps);
}

bool CPageWindow::OnMouse(UINT message, WPARAM wParam, LPARAM lParam)
{
    CefMouseEvent event;
    event.x = GET_X_LPARAM(lParam);
    event.y = GET_Y_LPARAM(lParam);
    event.modifiers = HeldFlags();
    if (message == WM_MOUSEMOVE) {
        if (!m_trackingLeave) {
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, m_hwnd.Get(), 0};
            m_trackingLeave = TrackMouseEvent(&track) != FALSE;
        }
        m_input->MouseMove(event, false);
        return true;
    }
    if (message == WM_MOUSELEAVE) {
        m_trackingLeave = false;
        m_input->MouseMove(event, true);
        return true;
    }
    if (message == WM_MOUSEWHEEL) {
        // The wheel's position is on the screen.
        POINT point = {event.x, event.y};
        ScreenToClient(m_hwnd.Get(), &point);
        event.x = point.x;
        event.y = point.y;
        m_input->MouseWheel(event, 0, GET_WHEEL_DELTA_WPARAM(wParam));
        return true;
    }
    for (const CButtonMessage& button : kButtonMessages) {
        if (button.message != message)
            continue;
        // A drag that leaves the window still ends in it.
        if (!button.up) {
            m_clickCount = button.clickCount;
            SetCapture(m_hwnd.Get());
        } else if (GetCapture() == m_hwnd.Get()) {
            ReleaseCapture();
        }
        m_input->MouseClick(event, button.button, button.up, m_clickCount);
        return true;
    }
    return false;
}

bool CPageWindow::OnKey(UINT message, WPARAM wParam, LPARAM lParam)
{
    CefKeyEvent event;
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: event.type = KEYEVENT_RAWKEYDOWN; break;
    case WM_KEYUP:
    case WM_SYSKEYUP: event.type = KEYEVENT_KEYUP; break;
    case WM_CHAR:
    case WM_SYSCHAR:
        event.type = KEYEVENT_CHAR;
        event.character = event.unmodified_character = static_cast<char16>(wParam);
        break;
    default: return false;
    }
    event.windows_key_code = static_cast<int>(wParam);
    event.native_key_code = static_cast<int>(lParam);
    event.is_system_key = (message == WM_SYSKEYDOWN || message == WM_SYSKEYUP || message == WM_SYSCHAR) ? 1 : 0;
    event.modifiers = HeldFlags();
    m_input->Key(event);
    // System keys still do what the system does with them (Alt+F4 closes the window).
    return !event.is_system_key;
}

LRESULT CALLBACK CPageWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CPageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (self->m_input && (self->OnMouse(message, wParam, lParam) || self->OnKey(message, wParam, lParam)))
        return 0;
    switch (message) {
    case WM_PAINT: self->Paint(); return 0;
    case WM_ERASEBKGND:
        if (!self->m_pixels.empty())
            return 1;
        break;
    case WM_CLOSE:
        if (self->m_onClose)
            self->m_onClose();
        return 0;
    case WM_SIZE:
        if (self->m_onResize)
            self->m_onResize();
        break;
    case WM_NCDESTROY:
        // Destroyed by the system (with its owner): nothing left for the owner to destroy.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        static_cast<void>(self->m_hwnd.Release());
        break;
    default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace cefcompat
