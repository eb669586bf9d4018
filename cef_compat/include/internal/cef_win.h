// Windows-specific wrappers: process arguments and the description of a browser's window.
#pragma once

#include "include/internal/cef_string.h"
#include "include/internal/cef_types_win.h"
#include "include/internal/cef_types_wrappers.h"

class CefMainArgs : public cef_main_args_t {
public:
    CefMainArgs() { instance = nullptr; }
    explicit CefMainArgs(HINSTANCE hInstance) { instance = hInstance; }
};

class CefWindowInfo : public cef_window_info_t {
public:
    CefWindowInfo();
    CefWindowInfo(const CefWindowInfo& r);
    CefWindowInfo(const cef_window_info_t& r);
    ~CefWindowInfo();
    CefWindowInfo& operator=(const CefWindowInfo& r);
    CefWindowInfo& operator=(const cef_window_info_t& r);

    // A child window of |parent| at |windowRect| (client coordinates of the parent).
    void SetAsChild(HWND parent, RECT windowRect);
    // An overlapped, visible top-level window owned by |parent|, titled |windowName|.
    void SetAsPopup(HWND parent, const CefString& windowName);
    // No window: frames go to the client's render handler; |parent| gives screen information.
    void SetAsWindowless(HWND parent, bool transparent);

    // Older spelling of SetAsWindowless with transparent painting off.
    void SetAsOffScreen(HWND parent) { SetAsWindowless(parent, false); }
    void SetTransparentPainting(bool transparentPainting)
    {
        transparent_painting_enabled = transparentPainting ? 1 : 0;
    }

private:
    void Copy(const cef_window_info_t& r);
};
