// JPEG screencast frames decoded by libjpeg-turbo straight into opaque top-down BGRA. Plain
// C++ over bytes, so that the native fuzzers reach every check made on a frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cefcompat {

// Frames larger than this on a side are refused before anything is allocated for them.
constexpr int kMaxFrameSide = 8192;

// Bytes from base64 as DevTools sends them; false for anything else and for text longer than
// |maxText|. Not crypt32's CryptStringToBinaryA: under Wine that takes 7 to 34 ms for the
// 400,000 characters of a 300 KB frame, as long as decoding the JPEG itself; this takes 0.2 ms.
bool DecodeBase64(const std::string& text, size_t maxText, std::vector<uint8_t>* bytes);

class CJpegDecoder {
public:
    CJpegDecoder();
    ~CJpegDecoder();
    CJpegDecoder(const CJpegDecoder&) = delete;
    CJpegDecoder& operator=(const CJpegDecoder&) = delete;

    // Fills |bgra|, width * height * 4 bytes (each side at most kMaxFrameSide) in rows of
    // width * 4: the frame at the top left and white beside and below a frame smaller than that.
    // A frame larger on either side, cut short or damaged is refused with the reason in |why|,
    // its header read before anything of it is decoded; |bgra| may then hold part of it.
    bool Decode(const uint8_t* jpeg, size_t size, int width, int height, uint8_t* bgra, std::string* why);

private:
    bool DecodeInto(const uint8_t* jpeg, size_t size, int width, int height, uint8_t* bgra, std::string* why);

    struct CDestroy {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, CDestroy> m_handle;
};

} // namespace cefcompat
