#pragma once

// The DC of one WM_PAINT, which is bound to its message; the host's other GDI owners are the
// shared ones of Win32Owners.h.

#include <windows.h>

namespace NsGdi {

// The DC of one WM_PAINT, from BeginPaint, ended with EndPaint. Bound to its message, so it
// can neither be copied nor moved.
class CPaintDc {
public:
    explicit CPaintDc(HWND window) : m_window(window), m_dc(::BeginPaint(window, &m_paint)) {}
    ~CPaintDc() { ::EndPaint(m_window, &m_paint); }

    CPaintDc(const CPaintDc&) = delete;
    CPaintDc& operator=(const CPaintDc&) = delete;

    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};

} // namespace NsGdi
