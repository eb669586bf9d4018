#include "PngWriter.h"

#include <zlib.h>

#include <array>

namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kBitDepth = 8;
constexpr uint8_t kColourTypeRgb = 2;
constexpr uint8_t kFilterNone = 0;

void PutUint32(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// Length, type, data, then the CRC over type and data.
void PutChunk(std::vector<uint8_t>& out, const char (&type)[5], const std::vector<uint8_t>& data)
{
    PutUint32(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    PutUint32(out, static_cast<uint32_t>(crc));
}

// Each row starts with its filter byte; pixels turn from BGRA into RGB.
std::vector<uint8_t> RgbRows(uint32_t width, uint32_t height, const uint8_t* bgra)
{
    std::vector<uint8_t> rows;
    rows.reserve(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    for (uint32_t y = 0; y < height; ++y) {
        rows.push_back(kFilterNone);
        const uint8_t* pixel = bgra + static_cast<size_t>(y) * width * 4;
        for (uint32_t x = 0; x < width; ++x, pixel += 4) {
            rows.push_back(pixel[2]);
            rows.push_back(pixel[1]);
            rows.push_back(pixel[0]);
        }
    }
    return rows;
}

} // namespace

std::vector<uint8_t> EncodePngFromBgra(int32_t width, int32_t height, const uint8_t* bgra)
{
    if (width <= 0 || height <= 0 || bgra == nullptr)
        return {};
    const auto w = static_cast<uint32_t>(width);
    const auto h = static_cast<uint32_t>(height);
    const std::vector<uint8_t> rows = RgbRows(w, h, bgra);

    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()), Z_BEST_SPEED) != Z_OK)
        return {};
    packed.resize(packedSize);

    std::vector<uint8_t> header;
    PutUint32(header, w);
    PutUint32(header, h);
    header.insert(header.end(), {kBitDepth, kColourTypeRgb, 0, 0, 0}); // compression, filter, interlace

    std::vector<uint8_t> png(kSignature.begin(), kSignature.end());
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    return png;
}
