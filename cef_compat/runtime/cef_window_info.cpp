// CefWindowInfo: the three forms of a browser's window.
#include "include/internal/cef_win.h"

#include <cstring>

CefWindowInfo::CefWindowInfo()
{
    std::memset(static_cast<cef_window_info_t*>(this), 0, sizeof(cef_window_info_t));
}

CefWindowInfo::CefWindowInfo(const CefWindowInfo& r) : CefWindowInfo()
{
    Copy(r);
}

CefWindowInfo::CefWindowInfo(const cef_window_info_t& r) : CefWindowInfo()
{
    Copy(r);
}

CefWindowInfo::~CefWindowInfo()
{
    cef_string_clear(&window_name);
}

CefWindowInfo& CefWindowInfo::operator=(const CefWindowInfo& r)
{
    if (this != &r)
        Copy(r);
    return *this;
}

CefWindowInfo& CefWindowInfo::operator=(const cef_window_info_t& r)
{
    if (this != &r)
        Copy(r);
    return *this;
}

void CefWindowInfo::Copy(const cef_window_info_t& r)
{
    cef_string_clear(&window_name);
    const cef_string_t theirs = r.window_name;
    std::memcpy(static_cast<cef_window_info_t*>(this), &r, sizeof(cef_window_info_t));
    window_name = cef_string_t();
    cef_string_set(theirs.str, theirs.length, &window_name, 1);
}

void CefWindowInfo::SetAsChild(HWND parent, RECT windowRect)
{
    style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VISIBLE;
    parent_window = parent;
    x = windowRect.left;
    y = windowRect.top;
    width = windowRect.right - windowRect.left;
    height = windowRect.bottom - windowRect.top;
}

void CefWindowInfo::SetAsPopup(HWND parent, const CefString& windowName)
{
    style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;
    parent_window = parent;
    x = CW_USEDEFAULT;
    y = CW_USEDEFAULT;
    width = CW_USEDEFAULT;
    height = CW_USEDEFAULT;
    cef_string_set(windowName.c_str(), windowName.length(), &window_name, 1);
}

void CefWindowInfo::SetAsWindowless(HWND parent, bool transparent)
{
    windowless_rendering_enabled = 1;
    parent_window = parent;
    transparent_painting_enabled = transparent ? 1 : 0;
}
