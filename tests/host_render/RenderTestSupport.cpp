#include "RenderTestSupport.h"

#include <windows.h>

std::vector<uint8_t> SolidPicture(int width, int height, uint32_t rgb)
{
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 4);
    for (size_t at = 0; at < picture.size(); at += 4) {
        picture[at] = static_cast<uint8_t>(rgb);
        picture[at + 1] = static_cast<uint8_t>(rgb >> 8);
        picture[at + 2] = static_cast<uint8_t>(rgb >> 16);
        picture[at + 3] = 0xFF;
    }
    return picture;
}

uint32_t PixelAt(const uint8_t* bits, int stridePixels, int x, int y)
{
    const uint8_t* pixel = bits + (static_cast<size_t>(y) * stridePixels + x) * 4;
    return uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0];
}

uint32_t PixelAt(const CDibBitmap& bitmap, int x, int y)
{
    ::GdiFlush();
    return PixelAt(bitmap.Bits(), bitmap.Width(), x, y);
}
