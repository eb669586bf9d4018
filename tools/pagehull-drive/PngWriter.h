#pragma once

// Frames as PNG files (8-bit RGB, unfiltered rows), written by WIC's encoder.

#include <cstddef>
#include <cstdint>
#include <vector>

// Encodes `height` rows of `width` pixels stored as blue, green, red, unused bytes with no
// padding between rows; the fourth byte is dropped. Empty when a size is not positive.
std::vector<uint8_t> EncodePngFromBgra(int32_t width, int32_t height, const uint8_t* bgra);
