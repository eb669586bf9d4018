// The native window's procedure and the window's input from it: when the window is visible
// (no add-in, or after the hot key) a person uses the page with mouse and keyboard here. The
// procedure only dispatches; the window object turns messages into CEF input events.

#include "HostWindowProc.h"

#include "GdiOwners.h"
#include "InputModifiers.h"
#include "OffscreenBrowserWindow.h"

#include <windowsx.h>

namespace {

COffscreenBrowserWindow* AttachedWindow(HWND hwnd)
{
    return reinterpret_cast<COffscreenBrowserWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void Attach(HWND hwnd, LPARAM createParameters)
{
    auto* window =
        static_cast<COffscreenBrowserWindow*>(reinterpret_cast<const CREATESTRUCTW*>(createParameters)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    window->OnWindowCreated(hwnd);
}

// Signed: while the mouse is captured, a point left of or above the window is negative.
int PointX(LPARAM lParam)
{
    return GET_X_LPARAM(lParam);
}

int PointY(LPARAM lParam)
{
    return GET_Y_LPARAM(lParam);
}

bool IsCharacterMessage(UINT message)
{
    return message == WM_CHAR || message == WM_SYSCHAR || message == WM_IME_CHAR;
}

cef_key_event_type_t KeyEventType(UINT message)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: return KEYEVENT_RAWKEYDOWN;
    case WM_KEYUP:
    case WM_SYSKEYUP: return KEYEVENT_KEYUP;
    default: return KEYEVENT_CHAR;
    }
}

bool IsSystemKeyMessage(UINT message)
{
    return message == WM_SYSKEYDOWN || message == WM_SYSKEYUP || message == WM_SYSCHAR;
}

// Input and close requests of an attached window; false for any other message. Key messages
// are not passed on, so that system key combinations such as Alt+F4 reach the page rather than
// the window.
bool DispatchInput(COffscreenBrowserWindow& window, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS: window.OnNativeFocus(message == WM_SETFOCUS); break;
    case WM_CLOSE: window.CloseHost(); break;
    case WM_MOUSEMOVE: window.OnNativeMouseMove(PointX(lParam), PointY(lParam)); break;
    case WM_MOUSELEAVE: window.OnNativeMouseLeave(); break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        // Captured until the release, so that a drag out of the window still ends in the page.
        ::SetCapture(hwnd);
        ::SetFocus(hwnd);
        window.OnNativeButton(PointX(lParam), PointY(lParam), message == WM_LBUTTONDOWN, true);
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        if (::GetCapture() == hwnd)
            ::ReleaseCapture();
        window.OnNativeButton(PointX(lParam), PointY(lParam), message == WM_LBUTTONUP, false);
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
    case WM_IME_CHAR: window.OnNativeKey(message, wParam, lParam); break;
    default: return false;
    }
    return true;
}

} // namespace

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    COffscreenBrowserWindow* window = AttachedWindow(hwnd);
    switch (message) {
    case WM_CREATE: Attach(hwnd, lParam); return 0;
    case WM_PAINT: {
        const NsGdi::CPaintDc paint(hwnd);
        if (window)
            window->PaintWindow(paint.Get());
        return 0;
    }
    case WM_SETCURSOR:
        if (window && window->ApplyCursor())
            return TRUE;
        break;
    case WM_MOUSEWHEEL:
        if (window)
            window->OnNativeWheel(POINT{PointX(lParam), PointY(lParam)}, GET_WHEEL_DELTA_WPARAM(wParam));
        break;
    case WM_HOTKEY:
        if (window && wParam == COffscreenBrowserWindow::kVisibilityHotKeyId)
            window->ToggleVisibility();
        return 0;
    default:
        if (window && DispatchInput(*window, hwnd, message, wParam, lParam))
            return 0;
        break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void COffscreenBrowserWindow::OnNativeMouseMove(int x, int y)
{
    CEF_REQUIRE_UI_THREAD();
    if (!m_trackingMouse) {
        TRACKMOUSEEVENT track = {};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = m_hwnd.Get();
        m_trackingMouse = ::TrackMouseEvent(&track) != FALSE;
    }
    MouseMove(x, y, false, static_cast<int>(GetMouseModifiers()));
}

void COffscreenBrowserWindow::OnNativeMouseLeave()
{
    CEF_REQUIRE_UI_THREAD();
    // The leave itself has ended the tracking; the next move asks for it again. The page is
    // not told.
    m_trackingMouse = false;
}

void COffscreenBrowserWindow::OnNativeButton(int x, int y, bool leftButton, bool buttonDown)
{
    CEF_REQUIRE_UI_THREAD();
    const auto modifiers = static_cast<int>(GetMouseModifiers());
    // Only a press must land on the view: the release of a captured drag may lie anywhere.
    if (buttonDown)
        MouseClick(x, y, leftButton, true, modifiers);
    else
        SendMouseClick(x, y, leftButton, false, modifiers);
}

void COffscreenBrowserWindow::OnNativeWheel(POINT screenPoint, int delta)
{
    CEF_REQUIRE_UI_THREAD();
    // The wheel message carries a screen position; the page wants one in its view.
    POINT point = screenPoint;
    ::ScreenToClient(m_hwnd.Get(), &point);
    MouseWheel(point.x, point.y, 0, delta, static_cast<int>(GetKeyboardModifiers(0, 0)));
}

void COffscreenBrowserWindow::OnNativeKey(UINT message, WPARAM wParam, LPARAM lParam)
{
    CEF_REQUIRE_UI_THREAD();
    if (!m_browser)
        return;
    CefKeyEvent event;
    event.type = KeyEventType(message);
    event.modifiers = GetKeyboardModifiers(wParam, lParam);
    // A character message carries its character here too; the character fields stay 0.
    event.windows_key_code = static_cast<int>(wParam);
    event.native_key_code = static_cast<int>(lParam);
    event.is_system_key = IsSystemKeyMessage(message) ? 1 : 0;
    m_browser->GetHost()->SendKeyEvent(event);
    // The character 123 is '{', not F12.
    if (wParam == VK_F12 && !IsCharacterMessage(message))
        ShowDevTools();
}

void COffscreenBrowserWindow::OnNativeFocus(bool focused)
{
    CEF_REQUIRE_UI_THREAD();
    Focus(focused);
}

bool COffscreenBrowserWindow::ApplyCursor() const
{
    CEF_REQUIRE_UI_THREAD();
    if (!m_cursor)
        return false;
    ::SetCursor(m_cursor);
    return true;
}
