// pagehull_bench [--frames N]
// Publication of 1920 x 1080 frames through the browser window's real render handler and
// channel, in this process: OnPaint copies CEF's buffer into the view bitmap, composes and
// hands the frame to the channel, which copies it into the shared block under the frame
// mutex and signals the add-in; the add-in's end, PagehullClient.dll as an add-in uses it,
// copies each frame it is told of. The median cost per
// frame is printed as a ratio to one plain copy of the same bytes measured in the same run,
// interleaved with the frames so that both see the same machine. Allocations through
// operator new are counted during the stream: a steady stream makes none.
// Event texts appended through the channel, as the window sends them, are timed in batches
// against the same mutex, copy and event set done directly on the same objects.
// Table rows go to stdout (see BenchSupport.h).

#include "BenchSupport.h"
#include "BrowserControlee.h"
#include "ChannelControl.h"
#include "OffscreenBrowserWindow.h"
#include "SharedBlock.h"
#include "pagehull_client.hpp"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>
#include <thread>
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

using NsBench::CStopwatch;
using NsBench::Median;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 4;
constexpr int kWarmUpFrames = 10;
constexpr int kDefaultFrames = 120;
constexpr double kGoal = 3.3;
constexpr int32_t kEventIndex = 8;
constexpr int kEventBatches = 300;
constexpr int32_t kInstanceIndex = 7;
constexpr DWORD kConnectTimeoutMs = 10000;

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

// The add-in's end on the client library: a receiving thread copies every frame reported, into
// a buffer sized once, and counts them, until the session closes.
class CAddinEnd {
public:
    ~CAddinEnd()
    {
        m_session.Close(0);
        if (m_receiver.joinable())
            m_receiver.join();
    }

    bool Open(int32_t index)
    {
        m_frame.pixels.reserve(NsChannel::kPixelCapacity);
        return m_session.Open(index) == PH_OK;
    }
    // After the window has opened its end of the channel.
    bool Attach(DWORD timeoutMs)
    {
        if (m_session.Attach(0, timeoutMs) != PH_OK)
            return false;
        m_receiver = std::thread([this] { Receive(); });
        return true;
    }
    long Frames() const { return m_frames; }

private:
    void Receive()
    {
        pagehull::Event event;
        for (;;) {
            const ph_status status = m_session.Wait(event, INFINITE - 1);
            if (status != PH_OK && status != PH_TIMEOUT)
                return;
            if (status == PH_OK && event.kind == PH_EVENT_FRAME && m_session.CopyFrame(m_frame) == PH_OK)
                ++m_frames;
        }
    }

    pagehull::Session m_session;
    pagehull::Frame m_frame;
    std::atomic<long> m_frames{0};
    std::thread m_receiver;
};

int ParseFrames(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"--frames") == 0) {
        const long frames = std::wcstol(argv[2], nullptr, 10);
        return frames > 0 && frames <= 100000 ? static_cast<int>(frames) : 0;
    }
    return argc == 1 ? kDefaultFrames : 0;
}

// Publishes a stream of frames through the window, each timed beside one plain copy.
bool MeasureFramePublication(int frames)
{
    const auto self = static_cast<int32_t>(::GetCurrentProcessId());
    CAddinEnd addin;
    if (!addin.Open(kInstanceIndex)) {
        std::fputs("cannot open the add-in's end of the channel\n", stderr);
        return false;
    }
    CefRefPtr<COffscreenBrowserWindow> window =
        new COffscreenBrowserWindow(self, kInstanceIndex, CefString(), ::GetModuleHandleW(nullptr));
    window->CreateHostWindow();
    if (!addin.Attach(kConnectTimeoutMs)) {
        std::fputs("the window's channel did not connect\n", stderr);
        return false;
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

    std::printf("frames published: %d of %d x %d (the add-in read %ld); allocations during the stream: %ld\n", frames,
                kWidth, kHeight, addin.Frames(), allocations);
    NsBench::PrintRow({"frame_publication", "Publishing one 1920x1080 frame (render handler to shared block)",
                       Median(publishMs), "ms", "one plain copy of 8,294,400 bytes", Median(copyMs),
                       NsBench::Goal::RatioAtMost, kGoal});
    return true;
}

// The channel's objects opened a second time by name, for the baseline's direct appends.
struct SEventObjects {
    NsWin32::CKernelHandle mutex;
    NsWin32::CKernelHandle signal;
    NsWin32::CKernelHandle mapping;
    NsWin32::CMappedView view;
};

bool OpenEventObjects(int32_t processId, SEventObjects& objects)
{
    const auto name = [&](ChannelObject object) { return CChannelControl::ObjectName(object, processId, kEventIndex); };
    objects.mutex.Reset(::CreateMutexW(nullptr, FALSE, name(ChannelObject::BrowserEventMutex).c_str()));
    objects.signal.Reset(::CreateEventW(nullptr, FALSE, FALSE, name(ChannelObject::BrowserEventSignal).c_str()));
    objects.mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                               static_cast<DWORD>(NsChannel::kBlockSize),
                                               name(ChannelObject::Memory).c_str()));
    if (!objects.mutex || !objects.signal || !objects.mapping)
        return false;
    objects.view.Reset(::MapViewOfFile(objects.mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, NsChannel::kBlockSize));
    return static_cast<bool>(objects.view);
}

// What an append needs at the least: the lock, the end of the text, the copy, the signal.
void AppendDirectly(SEventObjects& objects, const std::wstring& text)
{
    auto* area = reinterpret_cast<wchar_t*>(objects.view.Bytes());
    {
        const NsWin32::CMutexLock lock(objects.mutex.Get(), INFINITE);
        const size_t end = wcsnlen(area, NsChannel::kEventAreaUnits);
        const size_t room = NsChannel::kEventAreaUnits - end;
        if (room > 0) {
            area[end] = static_cast<wchar_t>(NsChannel::kEventSeparator);
            const size_t units = std::min(text.size(), room - 1);
            std::memcpy(area + end + 1, text.data(), units * sizeof(wchar_t));
        }
    }
    ::SetEvent(objects.signal.Get());
}

// The add-in empties the area between batches, so every append of a batch lands in it.
void EmptyArea(SEventObjects& objects)
{
    const NsWin32::CMutexLock lock(objects.mutex.Get(), INFINITE);
    std::memset(objects.view.Bytes() + NsChannel::kEventAreaOffset, 0, NsChannel::kEventAreaSize);
}

bool MeasureEventAppends()
{
    const auto self = static_cast<int32_t>(::GetCurrentProcessId());
    CBrowserControlee controlee(self, kEventIndex, nullptr);
    SEventObjects objects;
    if (!controlee.Start() || !OpenEventObjects(self, objects)) {
        std::fputs("cannot open the event objects\n", stderr);
        return false;
    }
    const std::wstring text = L"address:http://bench.example/page";
    // As many as fill the area with their separators.
    const int perBatch = static_cast<int>(NsChannel::kEventAreaUnits / (text.size() + 1));
    std::vector<double> channelMs;
    std::vector<double> directMs;
    for (int batch = 0; batch < kEventBatches; ++batch) {
        EmptyArea(objects);
        const CStopwatch channelWatch;
        for (int i = 0; i < perBatch; ++i)
            controlee.SendBrowserEvent(text);
        channelMs.push_back(channelWatch.Milliseconds());
        EmptyArea(objects);
        const CStopwatch directWatch;
        for (int i = 0; i < perBatch; ++i)
            AppendDirectly(objects, text);
        directMs.push_back(directWatch.Milliseconds());
    }
    const double perSecond = 1000.0 * perBatch;
    NsBench::PrintRow({"event_appends_per_second", "Event texts appended per second", perSecond / Median(channelMs),
                       "1/s", "the same mutex, copy and event set without the channel", perSecond / Median(directMs),
                       NsBench::Goal::RatioAtLeast, 0.7});
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int frames = ParseFrames(argc, argv);
    if (frames == 0) {
        std::fputs("usage: pagehull_bench [--frames N]\n", stderr);
        return 1;
    }
    return MeasureFramePublication(frames) && MeasureEventAppends() ? 0 : 2;
}
