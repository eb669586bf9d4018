// Frames decoded by libjpeg-turbo and WIC, alone and on the pool's threads.
#include <windows.h>
#include <wincrypt.h>

#include <turbojpeg.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../../../tests/support/TestTime.h"
#include "engines/frame_decoder.h"

namespace cefcompat {
namespace {

// A 2 x 2 PNG, every pixel RGBA (200, 30, 60, 128).
const char kHalfClearPng[] =
    "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAYAAABytg0kAAAAEUlEQVR4nGM4IWfTAMIMMAYAPE4GiTzYsNYAAAAASUVORK5CYII=";

using Pixel = std::vector<uint8_t>; // B, G, R, A

constexpr int kJpegWidth = 64;
constexpr int kJpegHeight = 48;
// The JPEG's four quarters, left to right and top to bottom, as RGB.
const uint8_t kQuarters[4][3] = {{220, 20, 30}, {20, 200, 40}, {30, 40, 210}, {250, 250, 250}};

// A kJpegWidth x kJpegHeight JPEG of kQuarters, made by libjpeg-turbo's own compressor.
std::vector<uint8_t> QuartersJpeg()
{
    std::vector<uint8_t> rgb(kJpegWidth * kJpegHeight * 3);
    for (int y = 0; y < kJpegHeight; ++y) {
        for (int x = 0; x < kJpegWidth; ++x) {
            const uint8_t* colour = kQuarters[(y >= kJpegHeight / 2) * 2 + (x >= kJpegWidth / 2)];
            std::copy(colour, colour + 3, rgb.begin() + (y * kJpegWidth + x) * 3);
        }
    }
    tjhandle compressor = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int result =
        tjCompress2(compressor, rgb.data(), kJpegWidth, 0, kJpegHeight, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0);
    std::vector<uint8_t> bytes;
    if (result == 0)
        bytes.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(compressor);
    return bytes;
}

std::string Base64(const std::vector<uint8_t>& bytes)
{
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD size = 0;
    CryptBinaryToStringA(bytes.data(), static_cast<DWORD>(bytes.size()), flags, nullptr, &size);
    std::string text(size, '\0');
    CryptBinaryToStringA(bytes.data(), static_cast<DWORD>(bytes.size()), flags, &text[0], &size);
    text.resize(size);
    return text;
}

Pixel At(const std::vector<uint8_t>& bgra, int width, int x, int y)
{
    const size_t offset = (static_cast<size_t>(y) * width + x) * 4;
    return Pixel(bgra.begin() + offset, bgra.begin() + offset + 4);
}

// Within a few levels of the colour: what a quality-95 JPEG keeps of a flat area.
void ExpectNear(const Pixel& pixel, const uint8_t rgb[3])
{
    EXPECT_NEAR(pixel[0], rgb[2], 6);
    EXPECT_NEAR(pixel[1], rgb[1], 6);
    EXPECT_NEAR(pixel[2], rgb[0], 6);
    EXPECT_EQ(pixel[3], 255);
}

class LibJpegTurboFrameTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(jpeg.empty()); }

    const std::vector<uint8_t> jpeg = QuartersJpeg();
    CFrameDecoder decoder{FrameCodec::LibJpegTurbo};
    std::vector<uint8_t> bgra;
    std::string why;
};

TEST_F(LibJpegTurboFrameTest, DecodesTheColoursAtTheTopLeftOfTheView)
{
    // A view larger than the frame: white beside and below it.
    const int width = kJpegWidth + 5;
    const int height = kJpegHeight + 3;
    ASSERT_TRUE(decoder.Decode(Base64(jpeg), width, height, &bgra, &why)) << why;
    ASSERT_EQ(bgra.size(), static_cast<size_t>(width) * height * 4);
    for (int quarter = 0; quarter < 4; ++quarter) {
        const int x = kJpegWidth / 4 + (quarter % 2) * kJpegWidth / 2;
        const int y = kJpegHeight / 4 + (quarter / 2) * kJpegHeight / 2;
        ExpectNear(At(bgra, width, x, y), kQuarters[quarter]);
    }
    const Pixel white = {255, 255, 255, 255};
    EXPECT_EQ(At(bgra, width, kJpegWidth, 0), white);
    EXPECT_EQ(At(bgra, width, width - 1, kJpegHeight - 1), white);
    EXPECT_EQ(At(bgra, width, 0, kJpegHeight), white);
    EXPECT_EQ(At(bgra, width, width - 1, height - 1), white);
}

TEST_F(LibJpegTurboFrameTest, RefusesFramesThatAreBrokenOrLargerThanTheView)
{
    EXPECT_FALSE(decoder.Decode(Base64(jpeg), kJpegWidth - 1, kJpegHeight, &bgra, &why));
    EXPECT_NE(why.find("64 x 48"), std::string::npos) << why;
    EXPECT_FALSE(decoder.Decode(Base64(jpeg), kJpegWidth, kJpegHeight - 1, &bgra, &why));

    const std::vector<uint8_t> cut(jpeg.begin(), jpeg.end() - 20); // inside the scan
    EXPECT_FALSE(decoder.Decode(Base64(cut), kJpegWidth, kJpegHeight, &bgra, &why));

    // The frame header (SOF0, found by walking the segments) claims 65000 x 65000: refused from
    // the header, the buffer no larger than the view.
    std::vector<uint8_t> huge = jpeg;
    for (size_t i = 2; i + 9 < huge.size(); i += 2 + (huge[i + 2] << 8 | huge[i + 3])) {
        if (huge[i + 1] == 0xC0) {
            const uint8_t side[] = {0xFD, 0xE8, 0xFD, 0xE8};
            std::copy(side, side + 4, huge.begin() + i + 5);
            break;
        }
    }
    EXPECT_FALSE(decoder.Decode(Base64(huge), 1920, 1080, &bgra, &why));
    EXPECT_NE(why.find("65000 x 65000"), std::string::npos) << why;
    EXPECT_LE(bgra.size(), 1920u * 1080u * 4u);

    EXPECT_FALSE(decoder.Decode("bm90IGFuIGltYWdl", 2, 2, &bgra, &why)); // "not an image"
    EXPECT_FALSE(decoder.Decode(Base64(jpeg).substr(1), kJpegWidth, kJpegHeight, &bgra, &why));
    EXPECT_FALSE(decoder.Decode(Base64(jpeg), 0, kJpegHeight, &bgra, &why));
    // A refusal leaves the decoder sound for the next frame.
    EXPECT_TRUE(decoder.Decode(Base64(jpeg), kJpegWidth, kJpegHeight, &bgra, &why)) << why;
}

TEST(FrameDecoderTest, WicDecodesToOpaqueBgraAtTheAskedSize)
{
    CFrameDecoder decoder(FrameCodec::Wic);
    std::vector<uint8_t> bgra;
    std::string why;
    ASSERT_TRUE(decoder.Decode(kHalfClearPng, 3, 5, &bgra, &why)) << why;
    ASSERT_EQ(bgra.size(), 3u * 5u * 4u);
    for (size_t i = 0; i < bgra.size(); i += 4)
        EXPECT_EQ(Pixel(bgra.begin() + i, bgra.begin() + i + 4), Pixel({60, 30, 200, 255}));
    EXPECT_FALSE(decoder.Decode("bm90IGFuIGltYWdl", 2, 2, &bgra, &why));
    EXPECT_FALSE(decoder.Decode(kHalfClearPng, 0, 2, &bgra, &why));
    EXPECT_FALSE(decoder.Decode(kHalfClearPng, 2, 8193, &bgra, &why));
}

TEST(FrameDecoderTest, ThePoolHandsFramesOnInOrderAndAlwaysTheNewest)
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> widths; // each frame is submitted at a width one above the one before
    CFrameDecoderPool pool(FrameCodec::Wic, 3, [&](std::vector<uint8_t>& bgra, int width, int height) {
        EXPECT_EQ(bgra.size(), static_cast<size_t>(width) * static_cast<size_t>(height) * 4u);
        std::lock_guard<std::mutex> lock(mutex);
        widths.push_back(width);
        changed.notify_all();
    });
    constexpr int kFrames = 60;
    for (int width = 1; width <= kFrames; ++width) {
        pool.Submit(width % 7 == 0 ? "bm90IGFuIGltYWdl" : kHalfClearPng, width, 4);
    }
    pool.Submit(kHalfClearPng, kFrames + 1, 4);
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::milliseconds(NsTestSupport::ScaledMs(30000)),
                                 [&]() { return !widths.empty() && widths.back() == kFrames + 1; }));
    for (size_t i = 1; i < widths.size(); ++i)
        EXPECT_LT(widths[i - 1], widths[i]);
}

TEST(FrameDecoderTest, TwoFramesWaitForABusyThreadAndTheOldestMakesWay)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    std::vector<int> widths;
    CFrameDecoderPool pool(FrameCodec::Wic, 1, [&](std::vector<uint8_t>&, int width, int) {
        std::unique_lock<std::mutex> lock(mutex);
        widths.push_back(width);
        changed.notify_all();
        changed.wait(lock, [&]() { return released; }); // the thread stays busy with frame 1
    });
    pool.Submit(kHalfClearPng, 1, 4);
    std::unique_lock<std::mutex> lock(mutex);
    const auto deadline = std::chrono::milliseconds(NsTestSupport::ScaledMs(30000));
    ASSERT_TRUE(changed.wait_for(lock, deadline, [&]() { return !widths.empty(); }));
    for (int width = 2; width <= 4; ++width)
        pool.Submit(kHalfClearPng, width, 4);
    released = true;
    changed.notify_all();
    ASSERT_TRUE(changed.wait_for(lock, deadline, [&]() { return widths.size() == 3; }));
    EXPECT_EQ(widths, (std::vector<int>{1, 3, 4}));
}

} // namespace
} // namespace cefcompat
