// Frames decoded with WIC, alone and on the pool's threads.
#include <condition_variable>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "../../../tests/support/TestTime.h"
#include "engines/frame_decoder.h"

namespace cefcompat {
namespace {

// A 2 x 2 PNG, every pixel RGBA (200, 30, 60, 128).
const char kHalfClearPng[] =
    "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAYAAABytg0kAAAAEUlEQVR4nGM4IWfTAMIMMAYAPE4GiTzYsNYAAAAASUVORK5CYII=";

TEST(FrameDecoderTest, DecodesToOpaqueBgraAtTheAskedSize)
{
    CFrameDecoder decoder;
    std::vector<uint8_t> bgra;
    ASSERT_TRUE(decoder.Decode(kHalfClearPng, 3, 5, &bgra));
    ASSERT_EQ(bgra.size(), 3u * 5u * 4u);
    for (size_t i = 0; i < bgra.size(); i += 4) {
        EXPECT_EQ(std::vector<uint8_t>(bgra.begin() + i, bgra.begin() + i + 4),
                  std::vector<uint8_t>({60, 30, 200, 255}));
    }
    EXPECT_FALSE(decoder.Decode("bm90IGFuIGltYWdl", 2, 2, &bgra)); // "not an image"
    EXPECT_FALSE(decoder.Decode(kHalfClearPng, 0, 2, &bgra));
    EXPECT_FALSE(decoder.Decode(kHalfClearPng, 2, 8193, &bgra));
}

TEST(FrameDecoderTest, ThePoolHandsFramesOnInOrderAndAlwaysTheNewest)
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> widths; // each frame is submitted at a width one above the one before
    CFrameDecoderPool pool(3, [&](std::vector<uint8_t>&& bgra, int width, int height) {
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

} // namespace
} // namespace cefcompat
