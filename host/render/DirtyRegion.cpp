#include "DirtyRegion.h"

#include <algorithm>
#include <climits>
#include <cstdint>

RECT RectFromExtent(int x, int y, int width, int height)
{
    const auto edge = [](int start, int extent) {
        const int64_t end = int64_t{start} + extent;
        return static_cast<LONG>(std::clamp<int64_t>(end, INT_MIN, INT_MAX));
    };
    return RECT{x, y, edge(x, width), edge(y, height)};
}

CDirtyRegion::CDirtyRegion() : m_region(::CreateRectRgn(0, 0, 0, 0)) {}

void CDirtyRegion::Add(const RECT& rect)
{
    const NsWin32::CRegion part(::CreateRectRgnIndirect(&rect));
    if (m_region && part)
        ::CombineRgn(m_region.Get(), m_region.Get(), part.Get(), RGN_OR);
}

void CDirtyRegion::Invalidate(HWND window, POINT offset)
{
    // A null window would stand for every window on the desktop.
    if (!m_region || window == nullptr)
        return;
    ::OffsetRgn(m_region.Get(), offset.x, offset.y);
    ::InvalidateRgn(window, m_region.Get(), FALSE);
}
