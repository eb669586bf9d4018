#include "HostWindowProc.h"

#include "OffscreenBrowserWindow.h"

namespace {

COffscreenBrowserWindow* AttachedWindow(HWND hwnd)
{
    return reinterpret_cast<COffscreenBrowserWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

} // namespace

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        auto* window = static_cast<COffscreenBrowserWindow*>(
            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
        window->OnWindowCreated(hwnd);
        return 0;
    }
    case WM_CLOSE:
        if (COffscreenBrowserWindow* window = AttachedWindow(hwnd))
            window->CloseHost();
        return 0;
    case WM_HOTKEY:
        if (wParam == COffscreenBrowserWindow::kVisibilityHotKeyId) {
            if (COffscreenBrowserWindow* window = AttachedWindow(hwnd))
                window->ToggleVisibility();
        }
        return 0;
    default:
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
