#include "engines/jpeg_frame.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace cefcompat {
namespace {

constexpr uint8_t kNotBase64 = 0xFF;
// Far beyond any frame's JPEG; what TurboJPEG's unsigned long holds on every platform.
constexpr size_t kMaxJpegBytes = 256 * 1024 * 1024;

constexpr std::array<uint8_t, 256> Base64Values()
{
    std::array<uint8_t, 256> values{};
    for (uint8_t& value : values)
        value = kNotBase64;
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (uint8_t i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(alphabet[i])] = i;
    return values;
}

constexpr std::array<uint8_t, 256> kBase64Values = Base64Values();

} // namespace

bool DecodeBase64(const std::string& text, size_t maxText, std::vector<uint8_t>* bytes)
{
    size_t length = text.size();
    if (length == 0 || length > maxText || length % 4 != 0)
        return false;
    const size_t padding = text[length - 1] != '=' ? 0 : text[length - 2] != '=' ? 1 : 2;
    bytes->resize(length / 4 * 3);
    uint8_t* out = bytes->data();
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    length -= padding;
    size_t i = 0;
    uint32_t bits = 0;
    for (; i < length; ++i) {
        const uint8_t value = kBase64Values[in[i]];
        if (value == kNotBase64)
            return false;
        bits = bits << 6 | value;
        if (i % 4 == 3) {
            *out++ = static_cast<uint8_t>(bits >> 16);
            *out++ = static_cast<uint8_t>(bits >> 8);
            *out++ = static_cast<uint8_t>(bits);
        }
    }
    // The last group's unused low bits must be zero, as every encoder writes them.
    if (padding == 2) {
        if (bits & 0xF)
            return false;
        *out++ = static_cast<uint8_t>(bits >> 4);
    } else if (padding == 1) {
        if (bits & 0x3)
            return false;
        *out++ = static_cast<uint8_t>(bits >> 10);
        *out++ = static_cast<uint8_t>(bits >> 2);
    }
    bytes->resize(static_cast<size_t>(out - bytes->data()));
    return true;
}

void CJpegDecoder::CDestroy::operator()(void* handle) const
{
    tjDestroy(handle);
}

CJpegDecoder::CJpegDecoder() : m_handle(tjInitDecompress()) {}

CJpegDecoder::~CJpegDecoder() = default;

bool CJpegDecoder::Decode(const uint8_t* jpeg, size_t size, int width, int height, uint8_t* bgra, std::string* why)
{
    if (!m_handle)
        m_handle.reset(tjInitDecompress());
    if (!m_handle) {
        *why = "no JPEG decompressor";
        return false;
    }
    if (DecodeInto(jpeg, size, width, height, bgra, why))
        return true;
    // A decompressor that met an error reads the next frame wrongly (as 0 x 0, or with the
    // last error again): a fresh one takes its place.
    m_handle.reset(tjInitDecompress());
    return false;
}

bool CJpegDecoder::DecodeInto(const uint8_t* jpeg, size_t size, int width, int height, uint8_t* bgra, std::string* why)
{
    if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide || size == 0 ||
        size > kMaxJpegBytes) {
        *why = "no view, no data or too much of it";
        return false;
    }
    int frameWidth = 0;
    int frameHeight = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(m_handle.get(), jpeg, static_cast<unsigned long>(size), &frameWidth, &frameHeight,
                            &subsampling, &colorspace) != 0) {
        *why = std::string("not a JPEG: ") + tjGetErrorStr2(m_handle.get());
        return false;
    }
    if (frameWidth <= 0 || frameHeight <= 0 || frameWidth > width || frameHeight > height) {
        *why = "a " + std::to_string(frameWidth) + " x " + std::to_string(frameHeight) + " frame for a " +
               std::to_string(width) + " x " + std::to_string(height) + " view";
        return false;
    }
    const int pitch = width * 4;
    // A damaged frame stops at the first warning, and a progressive one with endless scans
    // is refused, instead of costing a decode that shows garbage.
    if (tjDecompress2(m_handle.get(), jpeg, static_cast<unsigned long>(size), bgra, frameWidth, pitch, frameHeight,
                      TJPF_BGRA, TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS) != 0) {
        *why = std::string("a damaged JPEG: ") + tjGetErrorStr2(m_handle.get());
        return false;
    }
    if (frameWidth < width) {
        for (int row = 0; row < frameHeight; ++row)
            std::memset(bgra + static_cast<size_t>(row) * pitch + frameWidth * 4, 0xFF, (width - frameWidth) * 4u);
    }
    std::memset(bgra + static_cast<size_t>(frameHeight) * pitch, 0xFF,
                static_cast<size_t>(height - frameHeight) * static_cast<size_t>(pitch));
    return true;
}

} // namespace cefcompat
