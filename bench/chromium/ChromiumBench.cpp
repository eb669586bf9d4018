// Pagehull.exe on the Chromium engine, measured from the add-in's side, against Chromium alone
// driven by a bare DevTools client (the engine's own process and connection classes, with the
// same switches, nothing decoded):
// - frames per second the add-in receives at 1920 x 1080 for an animated page, against the
//   screencast frames per second the bare client receives (each acked at once);
// - what limits it: frames per second the bare client decodes when it hands every frame to the
//   engine's decoder pool, and one libjpeg-turbo decode of such a frame on one thread, against
//   one WIC decode of it;
// - start of Pagehull.exe to the first frame after the page has loaded, against Chromium's own
//   start to its first screencast frame after the same page has loaded (both at 1024 x 768);
// - a press on the page to the first frame that shows its effect.

#include "BenchSupport.h"
#include "HostUnderTest.h"
#include "engines/chromium_process.h"
#include "engines/devtools_connection.h"
#include "engines/frame_decoder.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

namespace {

using NsBench::BinFolder;
using NsBench::CStopwatch;
using NsBench::Goal;
using NsBench::Median;
using NsBench::PrintRow;
using NsBench::Require;
using NsBench::SFailure;
using Json = nlohmann::json;

constexpr DWORD kTimeoutMs = 60000;
constexpr int kStartWidth = 1024;
constexpr int kStartHeight = 768;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrameWindows = 7;
constexpr double kFrameWindowMs = 1000.0;
constexpr int kPresses = 7;
constexpr int kDecodes = 9;
// The page's target: black, and white after every other press.
constexpr int32_t kTargetX = 140;
constexpr int32_t kTargetY = 140;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

const std::string kPagePath = CHROMIUM_BENCH_PAGE;

// Chromium with a bare DevTools client: frames are counted and acked, nothing else, until it
// is asked to hand them to the engine's decoder pool as well.
class CBareClient {
public:
    CBareClient()
        : m_decoders(cefcompat::FrameCodec::LibJpegTurbo, cefcompat::CFrameDecoderPool::DefaultThreads(),
                     [this](std::vector<uint8_t>&, int, int) { ++m_decoded; }),
          m_connection([this](Json& message) { OnMessage(message); }, [this] { OnClosed(); })
    {
    }

    // Starts Chromium and loads the page at the start size; returns the milliseconds from the
    // start to the first screencast frame after the page's load event.
    double StartAndLoad()
    {
        m_start.Restart();
        std::string error;
        m_process =
            cefcompat::CChromiumProcess::Start(L"/usr/bin/chromium", cefcompat::HeadlessSwitches(), kTimeoutMs, &error);
        Require(m_process != nullptr, "Chromium did not start for the bare client");
        Require(m_connection.Open(m_process->DevToolsLink(), &error), "the bare client cannot connect");
        const auto targets = m_connection.Call("Target.getTargets", Json::object(), "", kTimeoutMs);
        Require(targets.has_value(), "no targets");
        std::string target;
        for (const Json& info : (*targets)["result"]["targetInfos"])
            if (info.value("type", "") == "page")
                target = info.value("targetId", "");
        const auto attached =
            m_connection.Call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}}, "", kTimeoutMs);
        Require(attached.has_value(), "cannot attach");
        m_session = (*attached)["result"].value("sessionId", "");
        Require(m_connection.Call("Page.enable", Json::object(), m_session, kTimeoutMs).has_value(), "no Page.enable");
        Resize(kStartWidth, kStartHeight);
        m_connection.Send("Page.navigate", {{"url", "file://" + kPagePath}}, m_session);
        std::unique_lock<std::mutex> lock(m_lock);
        Require(m_changed.wait_for(lock, std::chrono::milliseconds(kTimeoutMs),
                                   [&] { return m_loaded && m_framesAfterLoad > 0; }),
                "no frame after the page loaded");
        return m_firstFrameMs;
    }

    void Resize(int width, int height)
    {
        m_width = width;
        m_height = height;
        m_connection.Call("Emulation.setDeviceMetricsOverride",
                          {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}},
                          m_session, kTimeoutMs);
        m_connection.Call("Page.stopScreencast", Json::object(), m_session, kTimeoutMs);
        m_connection.Call("Page.startScreencast",
                          {{"format", "jpeg"}, {"quality", 80}, {"maxWidth", width}, {"maxHeight", height}}, m_session,
                          kTimeoutMs);
    }

    uint64_t Frames() const { return m_frames; }
    uint64_t Decoded() const { return m_decoded; }
    void DecodeFrames() { m_decoding = true; }

    // Chromium stops sending frames, and the client decoding them.
    void StopFrames()
    {
        m_decoding = false;
        m_connection.Call("Page.stopScreencast", Json::object(), m_session, kTimeoutMs);
    }

    // The latest frame, base64 as it came.
    std::string LastFrame()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_lastFrame;
    }

private:
    void OnMessage(Json& message)
    {
        const std::string method = message.value("method", "");
        if (method == "Page.screencastFrame") {
            m_connection.Send("Page.screencastFrameAck", {{"sessionId", message["params"].value("sessionId", 0)}},
                              m_session);
            ++m_frames;
            std::string data = message["params"].value("data", "");
            if (m_decoding)
                m_decoders.Submit(data, m_width, m_height);
            const std::lock_guard<std::mutex> guard(m_lock);
            m_lastFrame = std::move(data);
            if (m_loaded && m_framesAfterLoad++ == 0)
                m_firstFrameMs = m_start.Milliseconds();
            m_changed.notify_all();
        } else if (method == "Page.loadEventFired") {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_loaded = true;
        }
    }

    void OnClosed()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_changed.notify_all();
    }

    std::unique_ptr<cefcompat::CChromiumProcess> m_process;
    std::string m_session;
    std::atomic<uint64_t> m_frames{0};
    CStopwatch m_start;
    std::mutex m_lock;
    double m_firstFrameMs = 0.0; // from the start to the first frame after the load event
    std::condition_variable m_changed;
    bool m_loaded = false;
    uint64_t m_framesAfterLoad = 0;
    std::string m_lastFrame;
    std::atomic<int> m_width{kStartWidth};
    std::atomic<int> m_height{kStartHeight};
    std::atomic<bool> m_decoding{false};
    std::atomic<uint64_t> m_decoded{0};
    cefcompat::CFrameDecoderPool m_decoders;
    // Last, so it goes first: its thread calls into the members above.
    cefcompat::CDevToolsConnection m_connection;
};

// Frames per second over windows of kFrameWindowMs, as counted by `frames`.
template <class Count>
double MedianRate(Count frames)
{
    std::vector<double> rates;
    for (int window = 0; window < kFrameWindows; ++window) {
        const uint64_t first = frames();
        const CStopwatch watch;
        ::Sleep(static_cast<DWORD>(kFrameWindowMs));
        rates.push_back(1000.0 * static_cast<double>(frames() - first) / watch.Milliseconds());
    }
    return Median(rates);
}

// The median time of one decode of `frame` at the full size, on this thread.
double DecodeMs(cefcompat::FrameCodec codec, const std::string& frame)
{
    cefcompat::CFrameDecoder decoder(codec);
    std::vector<uint8_t> bgra;
    std::string why;
    std::vector<double> times;
    for (int i = 0; i < kDecodes; ++i) {
        const CStopwatch watch;
        Require(decoder.Decode(frame, kWidth, kHeight, &bgra, &why), "cannot decode a screencast frame");
        times.push_back(watch.Milliseconds());
    }
    return Median(times);
}

int RunBenchmarks()
{
    double bareStartMs = 0.0;
    double bareRate = 0.0;
    double decodedRate = 0.0;
    double decodeMs = 0.0;
    double wicDecodeMs = 0.0;
    {
        CBareClient bare;
        bareStartMs = bare.StartAndLoad();
        bare.Resize(kWidth, kHeight);
        bareRate = MedianRate([&] { return bare.Frames(); });
        bare.DecodeFrames();
        decodedRate = MedianRate([&] { return bare.Decoded(); });
        bare.StopFrames();
        decodeMs = DecodeMs(cefcompat::FrameCodec::LibJpegTurbo, bare.LastFrame());
        wicDecodeMs = DecodeMs(cefcompat::FrameCodec::Wic, bare.LastFrame());
    }

    CHostUnderTest host;
    const CStopwatch watch;
    Require(host.Launch(BinFolder() + L"Pagehull.exe", L"file:///Z:" + std::wstring(kPagePath.begin(), kPagePath.end()),
                        {}, kTimeoutMs),
            "the host did not open its channel");
    Require(host.WaitForEvent(L"loadEnd:200", kTimeoutMs), "no loadEnd:200 from the host");
    Require(host.WaitForFramesAbove(host.FramesReceived(), kTimeoutMs), "no frame after the page loaded");
    const double hostStartMs = watch.Milliseconds();

    pagehull::Session& session = host.Session();
    Require(session.Resize(kWidth, kHeight) == PH_OK, "cannot send the resize command");
    Require(host.WaitForFrameSize(kWidth, kHeight, kTimeoutMs), "no 1920 x 1080 frame");
    const double hostRate = MedianRate([&] { return host.FramesReceived(); });

    host.WatchPixel(kTargetX, kTargetY);
    Require(host.WaitForPixel(kBlack, kTimeoutMs), "the target is not black");
    std::vector<double> presses;
    for (int press = 0; press < kPresses; ++press) {
        const uint32_t expected = press % 2 == 0 ? kWhite : kBlack;
        const CStopwatch pressWatch;
        Require(session.MouseClick(kTargetX, kTargetY, PH_BUTTON_LEFT, true) == PH_OK, "cannot send the press");
        Require(host.WaitForPixel(expected, kTimeoutMs), "the press never showed");
        presses.push_back(pressWatch.Milliseconds());
        Require(session.MouseClick(kTargetX, kTargetY, PH_BUTTON_LEFT, false) == PH_OK, "cannot send the release");
    }
    Require(host.Close(kTimeoutMs), "the host did not end after the close command");

    PrintRow({"chromium_frames_per_second",
              "Chromium engine: frames per second the add-in receives at 1920x1080, animated page", hostRate, "1/s",
              "screencast frames per second of a bare DevTools client, same Chromium and page", bareRate,
              Goal::RatioAtLeast, 0.9});
    PrintRow({"chromium_decoded_frames_per_second",
              "Bare DevTools client that hands every 1920x1080 frame to the engine's decoder pool: frames decoded "
              "per second",
              decodedRate, "1/s", "screencast frames per second of the same bare client, not decoding", bareRate,
              Goal::Report, 0});
    PrintRow({"chromium_frame_decode", "libjpeg-turbo decode of one 1920x1080 screencast JPEG into BGRA, one thread",
              decodeMs, "ms", "WIC decode of the same frame", wicDecodeMs, Goal::RatioAtMost, 0.25});
    PrintRow({"chromium_start_to_frame", "Chromium engine: start of Pagehull.exe to the first frame of a loaded page",
              hostStartMs, "ms", "Chromium's own start to its first screencast frame of the loaded page", bareStartMs,
              Goal::Report, 0});
    PrintRow({"chromium_press_to_frame", "Chromium engine: a press sent to the first frame that shows its effect",
              Median(presses), "ms", "-", 0, Goal::Report, 0});
    return 0;
}

} // namespace

int wmain(int argc, wchar_t**)
{
    if (argc != 1) {
        std::fputs("usage: chromium_bench\n", stderr);
        return 1;
    }
    try {
        return RunBenchmarks();
    } catch (const SFailure& failure) {
        std::fprintf(stderr, "chromium_bench: %s\n", failure.what);
        return 1;
    }
}
