#include "DibBitmap.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// CreateDIBSection reads a colour table for depths of 8 bits and less; this has room for
// the largest one, so no depth makes it read past the header.
struct BitmapInfoWithColours {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

constexpr int kMaxBitsPerPixel = 32;

} // namespace

CDibBitmap::CDibBitmap(int width, int height, int bitsPerPixel) : m_bitsPerPixel(bitsPerPixel)
{
    if (width > 0 && height > 0)
        Resize(width, height);
}

void CDibBitmap::Clear()
{
    m_selection.Reset();
    m_bitmap.Reset();
    m_dc.Reset();
    m_bits = nullptr;
    m_width = 0;
    m_height = 0;
}

void CDibBitmap::Resize(int width, int height, int bitsPerPixel)
{
    const bool sameDepth = bitsPerPixel <= 0 || bitsPerPixel == m_bitsPerPixel;
    if (width == m_width && height == m_height && sameDepth)
        return;
    Clear();
    if (bitsPerPixel > 0)
        m_bitsPerPixel = bitsPerPixel;
    Create(width, height);
}

void CDibBitmap::Create(int width, int height)
{
    if (width <= 0 || height <= 0 || m_bitsPerPixel <= 0 || m_bitsPerPixel > kMaxBitsPerPixel)
        return;
    BitmapInfoWithColours info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -height; // negative: the first row in memory is the top one
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(m_bitsPerPixel);
    info.header.biCompression = BI_RGB;

    const NsWin32::CWindowDc desktop(::GetDesktopWindow());
    void* bits = nullptr;
    NsWin32::CBitmap bitmap(
        ::CreateDIBSection(desktop.Get(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
    NsWin32::CMemoryDc dc(::CreateCompatibleDC(desktop.Get()));
    if (!bitmap || bits == nullptr || !dc)
        return;
    NsWin32::CSelection selection(dc.Get(), bitmap.Get());
    if (!selection)
        return;

    m_dc = std::move(dc);
    m_bitmap = std::move(bitmap);
    m_selection = std::move(selection);
    m_bits = static_cast<uint8_t*>(bits);
    m_width = width;
    m_height = height;

    const RECT whole{0, 0, width, height};
    ::FillRect(m_dc.Get(), &whole, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    // The pixels are written directly next; GDI may still hold the fill in its batch.
    ::GdiFlush();
}

size_t CDibBitmap::CopyPixels(const void* source, int width, int height)
{
    if (m_bits == nullptr || source == nullptr || width <= 0 || height <= 0)
        return 0;
    const uint64_t requested = RowBytes(width, m_bitsPerPixel) * static_cast<uint64_t>(height);
    const size_t bytes = static_cast<size_t>(std::min<uint64_t>(requested, ByteSize()));
    std::memcpy(m_bits, source, bytes);
    return bytes;
}

uint64_t CDibBitmap::RowBytes(int width, int bitsPerPixel)
{
    if (width <= 0 || bitsPerPixel <= 0)
        return 0;
    return (static_cast<uint64_t>(width) * static_cast<uint64_t>(bitsPerPixel) + 31) / 32 * 4;
}
