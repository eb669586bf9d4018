// Screencast frames: whatever the bytes, the JPEG decoder writes only inside the view's
// buffer, what it accepts is opaque, and it decodes a sound frame after any other; base64 is
// accepted only in the one spelling an encoder writes, so what decodes encodes back to the same
// text.

#include "FuzzSupport.h"
#include "engines/jpeg_frame.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <turbojpeg.h>

#include <string>
#include <vector>

using NsFuzz::Require;

namespace {

constexpr int kMaxViewSide = 512;
constexpr int kSoundSide = 16;

std::string Base64(const std::vector<uint8_t>& bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t count = std::min<size_t>(3, bytes.size() - i);
        uint32_t bits = static_cast<uint32_t>(bytes[i]) << 16;
        if (count > 1)
            bits |= static_cast<uint32_t>(bytes[i + 1]) << 8;
        if (count > 2)
            bits |= bytes[i + 2];
        for (size_t k = 0; k < 4; ++k)
            text += k <= count ? alphabet[(bits >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return text;
}

// A small sound frame, made once by libjpeg-turbo's compressor.
const std::vector<uint8_t>& SoundJpeg()
{
    static const std::vector<uint8_t> jpeg = [] {
        const std::vector<uint8_t> rgb(kSoundSide * kSoundSide * 3, 128);
        tjhandle compressor = tjInitCompress();
        unsigned char* bytes = nullptr;
        unsigned long size = 0;
        std::vector<uint8_t> made;
        if (tjCompress2(compressor, rgb.data(), kSoundSide, 0, kSoundSide, TJPF_RGB, &bytes, &size, TJSAMP_420, 80,
                        0) == 0)
            made.assign(bytes, bytes + size);
        tjFree(bytes);
        tjDestroy(compressor);
        return made;
    }();
    return jpeg;
}

void FuzzJpeg(FuzzedDataProvider& input)
{
    const int width = input.ConsumeIntegralInRange(1, kMaxViewSide);
    const int height = input.ConsumeIntegralInRange(1, kMaxViewSide);
    const std::vector<uint8_t> jpeg = input.ConsumeRemainingBytes<uint8_t>();
    // Exactly the view's size, so that the sanitizer sees any write beyond it.
    std::vector<uint8_t> bgra(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    static cefcompat::CJpegDecoder decoder;
    std::string why;
    if (!decoder.Decode(jpeg.data(), jpeg.size(), width, height, bgra.data(), &why)) {
        Require(!why.empty(), "a refusal says why");
    } else {
        for (size_t i = 3; i < bgra.size(); i += 4)
            Require(bgra[i] == 255, "a decoded frame is opaque");
    }
    std::vector<uint8_t> sound(kSoundSide * kSoundSide * 4);
    Require(decoder.Decode(SoundJpeg().data(), SoundJpeg().size(), kSoundSide, kSoundSide, sound.data(), &why),
            "the next sound frame decodes");
}

void FuzzBase64(FuzzedDataProvider& input)
{
    const std::string text = input.ConsumeRemainingBytesAsString();
    std::vector<uint8_t> bytes;
    if (cefcompat::DecodeBase64(text, text.size(), &bytes)) {
        Require(Base64(bytes) == text, "decoded base64 encodes back to the same text");
        Require(cefcompat::DecodeBase64(text, text.size() - 1, &bytes) == false, "the length limit holds");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool())
        FuzzBase64(input);
    else
        FuzzJpeg(input);
    return 0;
}
