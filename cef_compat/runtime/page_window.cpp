#include "runtime/page_window.h"

#include <cstring>
#include <string>

namespace cefcompat {
namespace {

const wchar_t kWindowClass[] = L"CefCompatPageWindow";

ATOM RegisterPageWindowClass(WNDPROC proc)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
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

LRESULT CALLBACK CPageWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CPageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
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
