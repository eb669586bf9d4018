#pragma once

// The part of the native window that one painted frame changed: the union of CEF's dirty
// rectangles, placed where the painted element sits in the view.

#include "Win32Owners.h"

#include <windows.h>

// (x, y, width, height) as a RECT; edges beyond the int range stop at its limits.
RECT RectFromExtent(int x, int y, int width, int height);

class CDirtyRegion {
public:
    CDirtyRegion();

    void Add(const RECT& rect);
    // Moves the union by offset and invalidates it in the window without erasing; without a
    // window it does nothing.
    void Invalidate(HWND window, POINT offset);

    HRGN Get() const { return m_region.Get(); }

private:
    NsWin32::CRegion m_region;
};

// Rects: a range of rectangles with x, y, width and height, as CEF lists them.
template <typename Rects>
void InvalidateDirtyRects(HWND window, const Rects& dirtyRects, POINT offset)
{
    CDirtyRegion region;
    for (const auto& rect : dirtyRects)
        region.Add(RectFromExtent(rect.x, rect.y, rect.width, rect.height));
    region.Invalidate(window, offset);
}
