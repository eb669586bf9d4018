#include "runtime/gdi_canvas.h"

#include <cstdint>
#include <cstring>

namespace cefcompat {

CGdiCanvas::CGdiCanvas(int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    NsWin32::CWindowDc screen(nullptr);
    void* bits = nullptr;
    NsWin32::CGdiObject bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    NsWin32::CMemoryDc dc(CreateCompatibleDC(screen.Get()));
    if (!bitmap || !dc || !bits)
        return;
    m_previousBitmap = SelectObject(dc.Get(), bitmap.Get());
    m_bitmap = std::move(bitmap);
    m_dc = std::move(dc);
    m_bits = bits;
    m_width = width;
    m_height = height;
    SetBkMode(m_dc.Get(), TRANSPARENT);
    SelectObject(m_dc.Get(), GetStockObject(DEFAULT_GUI_FONT));
}

CGdiCanvas::~CGdiCanvas()
{
    // The bitmap leaves the DC before either is deleted.
    if (m_dc && m_previousBitmap)
        SelectObject(m_dc.Get(), m_previousBitmap);
}

const void* CGdiCanvas::Bits() const
{
    if (m_dc)
        GdiFlush();
    return m_bits;
}

void CGdiCanvas::Fill(const RECT& rect, COLORREF color)
{
    if (!m_dc)
        return;
    NsWin32::CGdiObject brush(CreateSolidBrush(color));
    FillRect(m_dc.Get(), &rect, static_cast<HBRUSH>(brush.Get()));
}

void CGdiCanvas::Frame(const RECT& rect, COLORREF color)
{
    if (!m_dc)
        return;
    NsWin32::CGdiObject brush(CreateSolidBrush(color));
    FrameRect(m_dc.Get(), &rect, static_cast<HBRUSH>(brush.Get()));
}

int CGdiCanvas::Text(int x, int y, const std::wstring& text, COLORREF color)
{
    if (!m_dc)
        return y;
    SetTextColor(m_dc.Get(), color);
    TextOutW(m_dc.Get(), x, y, text.c_str(), static_cast<int>(text.size()));
    TEXTMETRICW metrics;
    const int lineHeight = GetTextMetricsW(m_dc.Get(), &metrics) ? metrics.tmHeight + 2 : 16;
    return y + lineHeight;
}

void CGdiCanvas::Cross(int x, int y, int arm, COLORREF color)
{
    Fill(RECT{x - arm, y - 1, x + arm + 1, y + 2}, color);
    Fill(RECT{x - 1, y - arm, x + 2, y + arm + 1}, color);
}

void CGdiCanvas::MakeOpaque()
{
    if (!m_bits)
        return;
    GdiFlush();
    auto* pixel = static_cast<uint32_t*>(m_bits);
    const size_t count = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
    for (size_t i = 0; i < count; ++i)
        pixel[i] |= 0xFF000000u;
}

} // namespace cefcompat
