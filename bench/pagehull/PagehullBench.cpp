// pagehull_bench [--frames N]
// Publication of 1920 x 1080 frames through the browser window's real render handler and
// channel, in this process: OnPaint copies CEF's buffer into the view bitmap, composes and
// hands the frame to the channel, which copies it into the shared block under the frame
// mutex and signals the add-in; an add-in end of ours reads each one. The median cost per
// frame is printed as a ratio to one plain copy of the same bytes measured in the same run,
// interleaved with the frames so that both see the same machine. Allocations through
// operator new are counted during the stream: a steady stream makes none.

#include "ChannelControl.h"
#include "OffscreenBrowserWindow.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <vector>

namespace {
volatile long g_allocations = 0;
} // namespace

void* operator new(size_t size)
{
    ::InterlockedIncrement(&g_allocations);
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, size_t /*size*/) noexcept
{
    std::free(block);
}

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 4;
constexpr int kWarmUpFrames = 10;
constexpr int kDefaultFrames = 120;
constexpr double kGoal = 3.3;
constexpr int32_t kInstanceIndex = 7;
constexpr DWORD kConnectTimeoutMs = 10000;

class CStopwatch {
public:
    CStopwatch() { ::QueryPerformanceCounter(&m_start); }

    double Milliseconds() const
    {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        ::QueryPerformanceCounter(&now);
        ::QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - m_start.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A picture that changes from frame to frame, as a page's would.
std::vector<uint8_t> Picture(uint8_t shade)
{
    std::vector<uint8_t> picture(kFrameBytes);
    for (size_t at = 0; at < picture.size(); at += 4) {
        picture[at] = shade;
        picture[at + 1] = static_cast<uint8_t>(at >> 12);
        picture[at + 2] = static_cast<uint8_t>(at >> 20);
        picture[at + 3] = 0xFF;
    }
    return picture;
}

// The add-in's end: reads every announced frame, as the add-in does, and counts them.
class CAddinEnd : public IChannelControlConsumer {
public:
    void OnFrameData(const unsigned char* /*frameHeader*/, uint32_t /*blockSize*/) override
    {
        ++m_frames;
    }
    long Frames() const { return m_frames; }

private:
    volatile long m_frames = 0;
};

int ParseFrames(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"--frames") == 0) {
        const long frames = std::wcstol(argv[2], nullptr, 10);
        return frames > 0 && frames <= 100000 ? static_cast<int>(frames) : 0;
    }
    return argc == 1 ? kDefaultFrames : 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int frames = ParseFrames(argc, argv);
    if (frames == 0) {
        std::fputs("usage: pagehull_bench [--frames N]\n", stderr);
        return 1;
    }
    const auto self = static_cast<int32_t>(::GetCurrentProcessId());
    CAddinEnd addin;
    CChannelControl addinChannel(self, kInstanceIndex, &addin);
    if (!addinChannel.Open(true)) {
        std::fputs("cannot open the add-in's end of the channel\n", stderr);
        return 2;
    }
    CefRefPtr<COffscreenBrowserWindow> window =
        new COffscreenBrowserWindow(self, kInstanceIndex, CefString(), ::GetModuleHandleW(nullptr));
    window->CreateHostWindow();
    if (!addinChannel.WaitForClient(kConnectTimeoutMs)) {
        std::fputs("the window's channel did not connect\n", stderr);
        return 2;
    }

    const std::vector<uint8_t> pictures[2] = {Picture(0x20), Picture(0xC0)};
    std::vector<uint8_t> copy(kFrameBytes);
    const CefRenderHandler::RectList dirty = {CefRect(0, 0, kWidth, kHeight)};
    const auto publish = [&](int frame) {
        window->OnPaint(nullptr, PET_VIEW, dirty, pictures[frame % 2].data(), kWidth, kHeight);
    };

    for (int frame = 0; frame < kWarmUpFrames; ++frame) {
        publish(frame);
        std::memcpy(copy.data(), pictures[frame % 2].data(), kFrameBytes);
    }
    std::vector<double> publishMs(static_cast<size_t>(frames));
    std::vector<double> copyMs(static_cast<size_t>(frames));
    const long allocationsBefore = g_allocations;
    for (int frame = 0; frame < frames; ++frame) {
        const CStopwatch copyWatch;
        std::memcpy(copy.data(), pictures[frame % 2].data(), kFrameBytes);
        copyMs[static_cast<size_t>(frame)] = copyWatch.Milliseconds();
        const CStopwatch publishWatch;
        publish(frame);
        publishMs[static_cast<size_t>(frame)] = publishWatch.Milliseconds();
    }
    const long allocations = g_allocations - allocationsBefore;
    window = nullptr;
    addinChannel.Close();

    const double publishMedian = Median(publishMs);
    const double copyMedian = Median(copyMs);
    const double ratio = publishMedian / copyMedian;
    std::printf("frames published: %d of %d x %d (the add-in read %ld)\n", frames, kWidth, kHeight,
                addin.Frames());
    std::printf("median per frame: %.3f ms; one plain copy of %zu bytes: %.3f ms\n", publishMedian,
                kFrameBytes, copyMedian);
    std::printf("ratio: %.2f (goal: at most %.1f) %s\n", ratio, kGoal, ratio <= kGoal ? "met" : "NOT met");
    std::printf("allocations during the stream: %ld\n", allocations);
    return 0;
}
