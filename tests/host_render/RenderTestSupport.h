#pragma once

// Pictures for the bitmap tests: solid BGRA buffers as CEF hands them over, and pixel reads.

#include "DibBitmap.h"

#include <cstdint>
#include <vector>

// Colours as 0x00RRGGBB, compared without the fourth byte, which GDI leaves as it likes.
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;

std::vector<uint8_t> SolidPicture(int width, int height, uint32_t rgb);
uint32_t PixelAt(const uint8_t* bits, int stridePixels, int x, int y);
uint32_t PixelAt(const CDibBitmap& bitmap, int x, int y);
