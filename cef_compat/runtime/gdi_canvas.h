// A 32-bit top-down DIB section with its own memory DC, for drawing pictures with GDI and
// handing their BGRA bytes on. UI thread.
#pragma once

#include <windows.h>

#include <string>

#include "Win32Owners.h"

namespace cefcompat {

class CGdiCanvas {
public:
    // Width and height are bounded by the caller; an empty canvas has no DC and no bits.
    CGdiCanvas(int width, int height);
    CGdiCanvas(const CGdiCanvas&) = delete;
    CGdiCanvas& operator=(const CGdiCanvas&) = delete;
    ~CGdiCanvas();

    bool IsValid() const { return m_bits != nullptr; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    HDC Dc() const { return m_dc.Get(); }
    const void* Bits() const;

    void Fill(const RECT& rect, COLORREF color);
    void Frame(const RECT& rect, COLORREF color);
    // Draws one line of text at (x, y) and returns the y below it.
    int Text(int x, int y, const std::wstring& text, COLORREF color);
    void Cross(int x, int y, int arm, COLORREF color);
    // GDI leaves the alpha byte at 0; a page is opaque.
    void MakeOpaque();

private:
    int m_width = 0;
    int m_height = 0;
    NsWin32::CMemoryDc m_dc;
    NsWin32::CGdiObject m_bitmap;
    HGDIOBJ m_previousBitmap = nullptr;
    void* m_bits = nullptr;
};

} // namespace cefcompat
