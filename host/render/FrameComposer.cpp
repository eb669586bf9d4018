#include "FrameComposer.h"

#include "DirtyRegion.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kBitsPerPixel = 32;
constexpr size_t kBytesPerPixel = kBitsPerPixel / 8;

uint64_t PackSize(int width, int height)
{
    return uint64_t{static_cast<uint32_t>(width)} << 32 | static_cast<uint32_t>(height);
}

// Where a picture placed with its top-left corner at (left, top) meets a target of the given
// size, in target coordinates; empty when they do not meet.
struct Overlap {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
    bool IsEmpty() const { return x0 >= x1 || y0 >= y1; }
};

Overlap OverlapOf(const CDibBitmap& picture, int left, int top, int targetWidth, int targetHeight)
{
    // 64 bits, so a place near the end of the int range cannot overflow.
    const auto edge = [](int start, int extent, int limit) {
        return static_cast<int>(std::clamp<int64_t>(int64_t{start} + extent, 0, limit));
    };
    return Overlap{std::clamp(left, 0, targetWidth), std::clamp(top, 0, targetHeight),
                   edge(left, picture.Width(), targetWidth), edge(top, picture.Height(), targetHeight)};
}

// Copies source into target with its top-left corner at (left, top); what falls outside
// target is cut off. Both bitmaps have kBitsPerPixel.
void CopyClipped(const CDibBitmap& source, CDibBitmap& target, int left, int top)
{
    const Overlap overlap = OverlapOf(source, left, top, target.Width(), target.Height());
    if (overlap.IsEmpty())
        return;
    const size_t rowBytes = static_cast<size_t>(overlap.x1 - overlap.x0) * kBytesPerPixel;
    const size_t sourceColumn = static_cast<size_t>(int64_t{overlap.x0} - left) * kBytesPerPixel;
    const size_t targetColumn = static_cast<size_t>(overlap.x0) * kBytesPerPixel;
    for (int y = overlap.y0; y < overlap.y1; ++y) {
        const size_t sourceRow = static_cast<size_t>(int64_t{y} - top);
        std::memcpy(target.Bits() + static_cast<size_t>(y) * target.Stride() + targetColumn,
                    source.Bits() + sourceRow * source.Stride() + sourceColumn, rowBytes);
    }
}

} // namespace

CFrameComposer::CFrameComposer()
    : m_viewBitmap(0, 0, kBitsPerPixel),
      m_popupBitmap(0, 0, kBitsPerPixel),
      m_frameBitmap(0, 0, kBitsPerPixel)
{
}

POINT CFrameComposer::Paint(cef_paint_element_type_t type, const void* buffer, int width, int height)
{
    switch (type) {
    case PET_VIEW:
        m_viewBitmap.Resize(width, height);
        m_viewBitmap.CopyPixels(buffer, width, height);
        m_viewSize.store(PackSize(m_viewBitmap.Width(), m_viewBitmap.Height()));
        return POINT{0, 0};
    case PET_POPUP:
        m_popupBitmap.Resize(width, height);
        m_popupBitmap.CopyPixels(buffer, width, height);
        return POINT{m_popupRect.left, m_popupRect.top};
    }
    return POINT{0, 0};
}

void CFrameComposer::SetPopupRect(int x, int y, int width, int height)
{
    m_popupRect = RectFromExtent(x, y, width, height);
    m_popupBitmap.Resize(width, height);
}

void CFrameComposer::SetPopupVisible(bool visible)
{
    m_popupVisible = visible;
}

// Without a popup the view is already the whole picture, so nothing is copied; the channel's
// copy into shared memory is then the only one after CEF's.
const CDibBitmap& CFrameComposer::Compose()
{
    if (!PopupShown())
        return m_viewBitmap;
    m_frameBitmap.Resize(m_viewBitmap.Width(), m_viewBitmap.Height());
    m_frameBitmap.CopyPixels(m_viewBitmap.Bits(), m_viewBitmap.Width(), m_viewBitmap.Height());
    CopyClipped(m_popupBitmap, m_frameBitmap, m_popupRect.left, m_popupRect.top);
    return m_frameBitmap;
}

void CFrameComposer::PaintTo(HDC dc) const
{
    if (m_viewBitmap.Dc() == nullptr)
        return;
    ::BitBlt(dc, 0, 0, m_viewBitmap.Width(), m_viewBitmap.Height(), m_viewBitmap.Dc(), 0, 0, SRCCOPY);
    if (!PopupShown())
        return;
    // Cut at the view's edges as in the published frame, also where the window is larger.
    const Overlap overlap =
        OverlapOf(m_popupBitmap, m_popupRect.left, m_popupRect.top, m_viewBitmap.Width(), m_viewBitmap.Height());
    if (!overlap.IsEmpty()) {
        ::BitBlt(dc, overlap.x0, overlap.y0, overlap.x1 - overlap.x0, overlap.y1 - overlap.y0, m_popupBitmap.Dc(),
                 overlap.x0 - m_popupRect.left, overlap.y0 - m_popupRect.top, SRCCOPY);
    }
}

bool CFrameComposer::ViewContains(int x, int y) const
{
    const uint64_t size = m_viewSize.load();
    const auto width = static_cast<int64_t>(size >> 32);
    const auto height = static_cast<int64_t>(size & 0xFFFFFFFFu);
    return x >= 0 && y >= 0 && x < width && y < height;
}
