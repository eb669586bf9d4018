// Pagehull.exe on the Chromium engine, measured from the add-in's side, against Chromium alone
// driven by a bare DevTools client (the engine's own process and connection classes, with the
// same switches). Host and bare client take turns, window by window, so that whatever else the
// machine does falls on both. While one is measured, the other's screencast is held back the
// same way on both sides: the bare client acks no frame, the host's threads are suspended so it
// acks none either, and each Chromium soon stops sending. Rows, each beside the bare client's
// figure from the same turns:
// - frames per second the add-in receives for an animated page, at 1920 x 1080 and 1024 x 768,
//   against the screencast frames per second the bare client receives (each acked at once);
//   and, to tell where frames go missing, the screencast frames per second the host's engine
//   takes from its Chromium in the same windows;
// - a press on the page to the first frame that shows its effect, against the bare client's
//   press (Input.dispatchMouseEvent) to the first screencast frame that shows it;
// - start of Pagehull.exe to the first frame after the page has loaded, against Chromium's own
//   start to its first screencast frame after the same page has loaded (both at 1024 x 768);
// - one libjpeg-turbo decode of a 1920 x 1080 frame against one WIC decode of it;
// - the host's private memory at 1920 x 1080 against the frame bitmaps it must hold;
// - flow control, on the bare client decoding as the engine does: frames decoded per second and
//   a press to its decoded frame, with a frame acked as a decoder takes it against on receipt.

#include "BenchSupport.h"
#include "HostUnderTest.h"
#include "SharedBlock.h"
#include "Win32Owners.h"
#include "engines/chromium_process.h"
#include "engines/devtools_connection.h"
#include "engines/frame_decoder.h"
#include "runtime/control_server.h"

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
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
constexpr int kStarts = 5;
constexpr int kFrameWindows = 7;
// At 1920 x 1080 Chromium sends 3-5 frames a second here; in windows of one second a single
// frame more or less moved a rate by a quarter.
constexpr double kFrameWindowMs = 3000.0;
// After a turn changes hands: the frames in flight arrive and the stream reaches its pace.
constexpr DWORD kSettleMs = 300;
constexpr int kPresses = 7;
constexpr int kDecodes = 9;
// The page's target: black, and white after every other press.
constexpr int32_t kTargetX = 140;
constexpr int32_t kTargetY = 140;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

const std::string kPagePath = CHROMIUM_BENCH_PAGE;
// The engine's, for its JPEG frames.
const unsigned kDecodingThreads = cefcompat::CFrameDecoderPool::DefaultThreads(cefcompat::FrameCodec::LibJpegTurbo);

// The target's pixel of a decoded frame as 0x00RRGGBB.
uint32_t TargetPixel(const std::vector<uint8_t>& bgra, int width)
{
    const uint8_t* pixel = bgra.data() + (static_cast<size_t>(kTargetY) * static_cast<size_t>(width) + kTargetX) * 4;
    return uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0];
}

// Frames decoded as the engine decodes them: the newest waits for a decoding thread, one it
// replaces is dropped. Each frame is acked on receipt or, when asked, only once a thread takes
// it or it is dropped, which holds Chromium back while the decoders are busy.
class CDecodingStage {
public:
    using AckFn = std::function<void(int ackId)>;
    using DecodedFn = std::function<void(const std::vector<uint8_t>& bgra, int width)>;

    CDecodingStage(AckFn ack, DecodedFn decoded) : m_ack(std::move(ack)), m_decoded(std::move(decoded))
    {
        for (unsigned i = 0; i < kDecodingThreads; ++i)
            m_threads.emplace_back([this] { Work(); });
    }
    ~CDecodingStage() { Stop(); }
    CDecodingStage(const CDecodingStage&) = delete;
    CDecodingStage& operator=(const CDecodingStage&) = delete;

    // Ends the threads; nothing is acked or decoded after it returns.
    void Stop()
    {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }

    void AckOnTake(bool onTake) { m_ackOnTake = onTake; }
    uint64_t Decoded() const { return m_count; }

    // Connection thread.
    void Take(std::string data, int ackId, int width, int height)
    {
        if (!m_ackOnTake)
            m_ack(ackId);
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            if (m_waiting && m_waiting->ackOnTake)
                m_ack(m_waiting->ackId);
            m_waiting = SJob{std::move(data), ackId, width, height, m_ackOnTake};
        }
        m_wake.notify_one();
    }

private:
    struct SJob {
        std::string data;
        int ackId = 0;
        int width = 0;
        int height = 0;
        bool ackOnTake = false;
    };

    void Work()
    {
        cefcompat::CFrameDecoder decoder(cefcompat::FrameCodec::LibJpegTurbo);
        std::vector<uint8_t> bgra;
        std::string why;
        for (;;) {
            SJob job;
            {
                std::unique_lock<std::mutex> lock(m_lock);
                m_wake.wait(lock, [this] { return m_stopping || m_waiting; });
                if (m_stopping)
                    return;
                job = std::move(*m_waiting);
                m_waiting.reset();
            }
            if (job.ackOnTake)
                m_ack(job.ackId);
            if (decoder.Decode(job.data, job.width, job.height, &bgra, &why)) {
                ++m_count;
                m_decoded(bgra, job.width);
            }
        }
    }

    const AckFn m_ack;
    const DecodedFn m_decoded;
    std::atomic<bool> m_ackOnTake{false};
    std::atomic<uint64_t> m_count{0};
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::optional<SJob> m_waiting;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// Chromium with a bare DevTools client: frames are counted and acked at once (unless paused), and
// decoded only while a press waits for its frame; or, while asked to, handed to a decoding stage like the
// engine's, and counted and looked at once decoded.
class CBareClient {
public:
    CBareClient() : m_connection([this](Json& message) { OnMessage(message); }, [this] { OnClosed(); }) {}
    // The stage's threads ack through the connection, whose thread feeds the stage.
    ~CBareClient()
    {
        m_connection.Stop();
        m_stage.Stop();
    }
    CBareClient(const CBareClient&) = delete;
    CBareClient& operator=(const CBareClient&) = delete;

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

    // The viewport takes the size, and the screencast starts again with it.
    void Resize(int width, int height)
    {
        m_width = width;
        m_height = height;
        m_connection.Call("Emulation.setDeviceMetricsOverride",
                          {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}},
                          m_session, kTimeoutMs);
        m_connection.Call("Page.stopScreencast", Json::object(), m_session, kTimeoutMs);
        m_connection.Call(
            "Page.startScreencast",
            {{"format", "jpeg"}, {"quality", 80}, {"maxWidth", width}, {"maxHeight", height}, {"everyNthFrame", 1}},
            m_session, kTimeoutMs);
    }

    // Frames that come while paused are held unacked, so Chromium soon stops sending them, as it
    // does for a suspended host; Resume acks them and the stream goes on where it stood.
    void Pause()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_paused = true;
    }
    void Resume()
    {
        std::vector<int> held;
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_paused = false;
            held.swap(m_held);
        }
        for (const int ackId : held)
            Ack(ackId);
    }

    uint64_t Frames() const { return m_frames; }
    uint64_t Decoded() const { return m_stage.Decoded(); }

    // Off: every frame acked at once, nothing decoded but for presses.
    enum class Decoding { Off, AckOnReceipt, AckOnTake };
    void Decode(Decoding decoding)
    {
        m_stage.AckOnTake(decoding == Decoding::AckOnTake);
        m_decoding = decoding != Decoding::Off;
    }

    // Presses the target, which turns from black to white or back; returns the milliseconds to
    // the first frame that shows the new colour.
    double Press()
    {
        m_targetColour = m_targetColour == kBlack ? kWhite : kBlack;
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_expected = m_targetColour;
            m_pressShown = false;
            m_pressWatch.Restart();
        }
        Mouse("mousePressed");
        std::unique_lock<std::mutex> lock(m_lock);
        Require(m_changed.wait_for(lock, std::chrono::milliseconds(kTimeoutMs), [&] { return m_pressShown; }),
                "the bare client's press never showed");
        m_expected.reset();
        lock.unlock();
        Mouse("mouseReleased");
        return m_pressMs;
    }

    // The latest frame, base64 as it came.
    std::string LastFrame()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_lastFrame;
    }

private:
    void Mouse(const char* type)
    {
        m_connection.Call("Input.dispatchMouseEvent",
                          {{"type", type}, {"x", kTargetX}, {"y", kTargetY}, {"button", "left"}, {"clickCount", 1}},
                          m_session, kTimeoutMs);
    }

    void OnMessage(Json& message)
    {
        const std::string method = message.value("method", "");
        if (method == "Page.screencastFrame") {
            const int ackId = message["params"].value("sessionId", 0);
            std::string data = message["params"].value("data", "");
            ++m_frames;
            if (m_decoding) {
                m_stage.Take(data, ackId, m_width, m_height);
            } else {
                AckUnlessPaused(ackId);
                std::string why;
                if (PressPending() && m_decoder.Decode(data, m_width, m_height, &m_pixels, &why))
                    OnDecoded(m_pixels, m_width);
            }
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

    void Ack(int ackId) { m_connection.Send("Page.screencastFrameAck", {{"sessionId", ackId}}, m_session); }

    void AckUnlessPaused(int ackId)
    {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            if (m_paused) {
                m_held.push_back(ackId);
                return;
            }
        }
        Ack(ackId);
    }

    bool PressPending()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_expected && !m_pressShown;
    }

    // A decoded frame: does it show the press waited for?
    void OnDecoded(const std::vector<uint8_t>& bgra, int width)
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_expected && !m_pressShown && NearColour(TargetPixel(bgra, width), *m_expected)) {
            m_pressShown = true;
            m_pressMs = m_pressWatch.Milliseconds();
            m_changed.notify_all();
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
    CStopwatch m_pressWatch;
    std::mutex m_lock;
    double m_firstFrameMs = 0.0; // from the start to the first frame after the load event
    std::condition_variable m_changed;
    bool m_loaded = false;
    uint64_t m_framesAfterLoad = 0;
    std::string m_lastFrame;
    std::optional<uint32_t> m_expected;
    bool m_pressShown = false;
    double m_pressMs = 0.0;
    std::atomic<int> m_width{kStartWidth};
    std::atomic<int> m_height{kStartHeight};
    bool m_paused = false;
    std::vector<int> m_held; // the frames not acked while paused
    uint32_t m_targetColour = kBlack; // the caller's thread
    std::atomic<bool> m_decoding{false};
    cefcompat::CFrameDecoder m_decoder{cefcompat::FrameCodec::LibJpegTurbo}; // connection thread
    std::vector<uint8_t> m_pixels;
    CDecodingStage m_stage{[this](int ackId) { Ack(ackId); },
                           [this](const std::vector<uint8_t>& bgra, int width) { OnDecoded(bgra, width); }};
    // Last, so it goes first: its thread calls into the members above.
    cefcompat::CDevToolsConnection m_connection;
};

// Suspends or resumes every thread of a process: a suspended host acks no frame, so its
// Chromium stops sending them. False without a thread list.
bool SetSuspended(DWORD processId, bool suspended)
{
    // A snapshot fails with INVALID_HANDLE_VALUE, as CreateFile does.
    NsWin32::CFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot.IsValid())
        return false;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        NsWin32::CKernelHandle thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
        if (thread)
            suspended ? ::SuspendThread(thread.Get()) : ::ResumeThread(thread.Get());
    }
    return true;
}

// Host and bare client, both showing the page; one of them streams at a time.
class CTurns {
public:
    CTurns(CHostUnderTest& host, CBareClient& bare) : m_host(host), m_bare(bare) {}
    // A host left suspended could not close.
    ~CTurns()
    {
        if (m_hostSuspended)
            SetSuspended(m_host.Session().HostProcessId(), false);
    }

    CTurns(const CTurns&) = delete;
    CTurns& operator=(const CTurns&) = delete;

    void HostsTurn()
    {
        m_bare.Pause();
        if (std::exchange(m_hostSuspended, false)) {
            Require(SetSuspended(m_host.Session().HostProcessId(), false), "cannot resume the host");
            ::Sleep(kSettleMs);
        }
    }

    void BaresTurn()
    {
        if (std::exchange(m_hostSuspended, true))
            return;
        Require(SetSuspended(m_host.Session().HostProcessId(), true), "cannot suspend the host");
        m_bare.Resume();
        ::Sleep(kSettleMs);
    }

private:
    CHostUnderTest& m_host;
    CBareClient& m_bare;
    bool m_hostSuspended = false;
};

// The screencast frames the host's engine has taken from its Chromium so far, and those it has
// shown, from the runtime's control pipe.
class CEngineFrames {
public:
    struct SCounts {
        uint64_t taken = 0;
        uint64_t shown = 0;
    };

    explicit CEngineFrames(DWORD hostProcessId)
        : m_pipe(::CreateFileW(cefcompat::CControlServer::PipeName(hostProcessId).c_str(), GENERIC_READ | GENERIC_WRITE,
                               0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        Require(m_pipe.IsValid(), "cannot open the host's control pipe");
    }

    SCounts Counts()
    {
        const std::string request = "chromium\n";
        DWORD written = 0;
        Require(::WriteFile(m_pipe.Get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr) != 0,
                "cannot ask the host's engine");
        std::string answer;
        while (answer.empty() || answer.back() != '\n') {
            char buffer[1024];
            DWORD read = 0;
            Require(::ReadFile(m_pipe.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0,
                    "no answer from the host's engine");
            answer.append(buffer, read);
        }
        return {Field(answer, " frames_taken="), Field(answer, " frames_shown=")};
    }

private:
    static uint64_t Field(const std::string& answer, const std::string& key)
    {
        const size_t at = answer.find(key);
        Require(at != std::string::npos, "the host's engine counts no frames");
        return std::stoull(answer.substr(at + key.size()));
    }

    NsWin32::CFileHandle m_pipe;
};

// Frames per second over one window of kFrameWindowMs, as counted by `frames`.
template <class Count>
double WindowRate(Count frames)
{
    const uint64_t first = frames();
    const CStopwatch watch;
    ::Sleep(static_cast<DWORD>(kFrameWindowMs));
    return 1000.0 * static_cast<double>(frames() - first) / watch.Milliseconds();
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

void Launch(CHostUnderTest& host)
{
    Require(host.Launch(BinFolder() + L"Pagehull.exe", L"file:///Z:" + std::wstring(kPagePath.begin(), kPagePath.end()),
                        {}, kTimeoutMs),
            "the host did not open its channel");
    Require(host.WaitForEvent(L"loadEnd:200", kTimeoutMs), "no loadEnd:200 from the host");
    Require(host.WaitForFramesAbove(host.FramesReceived(), kTimeoutMs), "no frame after the page loaded");
}

// Starts, alternately, the bare client's Chromium and the host, each to the first frame of the
// loaded page, and ends each before the next starts.
void MeasureStarts()
{
    std::vector<double> bare;
    std::vector<double> host;
    for (int round = 0; round < kStarts; ++round) {
        {
            CBareClient client;
            bare.push_back(client.StartAndLoad());
        }
        CHostUnderTest pagehull;
        const CStopwatch watch;
        Launch(pagehull);
        host.push_back(watch.Milliseconds());
        Require(pagehull.Close(kTimeoutMs), "the host did not end after the close command");
    }
    PrintRow({"chromium_start_to_frame", "Chromium engine: start of Pagehull.exe to the first frame of a loaded page",
              Median(host), "ms", "Chromium's own start to its first screencast frame of the loaded page", Median(bare),
              Goal::RatioAtMost, 1.2});
}

void MeasureRates(CHostUnderTest& host, CBareClient& bare, CTurns& turns, int width, int height)
{
    // Each on its own turn: a suspended host would not take the command, and a screencast
    // restarted with frames held unacked may never send again.
    turns.BaresTurn();
    bare.Resize(width, height);
    turns.HostsTurn();
    Require(host.Session().Resize(width, height) == PH_OK, "cannot send the resize command");
    Require(host.WaitForFrameSize(width, height, kTimeoutMs), "no frame of the new size");
    CEngineFrames engine(host.Session().HostProcessId());
    std::vector<double> hostRates;
    std::vector<double> takenRates;
    std::vector<double> shownRates;
    std::vector<double> bareRates;
    for (int window = 0; window < kFrameWindows; ++window) {
        turns.HostsTurn();
        const CEngineFrames::SCounts before = engine.Counts();
        const CStopwatch watch;
        hostRates.push_back(WindowRate([&] { return host.FramesReceived(); }));
        const CEngineFrames::SCounts after = engine.Counts();
        takenRates.push_back(1000.0 * static_cast<double>(after.taken - before.taken) / watch.Milliseconds());
        shownRates.push_back(1000.0 * static_cast<double>(after.shown - before.shown) / watch.Milliseconds());
        turns.BaresTurn();
        bareRates.push_back(WindowRate([&] { return bare.Frames(); }));
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    PrintRow({"chromium_frames_per_second_" + size,
              "Chromium engine: frames per second the add-in receives at " + size + ", animated page",
              Median(hostRates), "1/s", "screencast frames per second of a bare DevTools client, same page and size",
              Median(bareRates), Goal::RatioAtLeast, 0.9});
    PrintRow(
        {"chromium_frames_taken_per_second_" + size,
         "Chromium engine: screencast frames per second the host takes from its Chromium at " + size + ", same windows",
         Median(takenRates), "1/s", "screencast frames per second of a bare DevTools client, same page and size",
         Median(bareRates), Goal::Report, 0});
    PrintRow(
        {"chromium_frames_shown_per_second_" + size,
         "Chromium engine: frames per second the host's engine shows (hands to OnPaint) at " + size + ", same windows",
         Median(shownRates), "1/s", "frames per second the engine takes from its Chromium", Median(takenRates),
         Goal::Report, 0});
}

void MeasurePresses(CHostUnderTest& host, CBareClient& bare, CTurns& turns)
{
    turns.HostsTurn();
    host.WatchPixel(kTargetX, kTargetY);
    Require(host.WaitForPixel(kBlack, kTimeoutMs), "the target is not black");
    pagehull::Session& session = host.Session();
    std::vector<double> hostPresses;
    std::vector<double> barePresses;
    for (int press = 0; press < kPresses; ++press) {
        const uint32_t expected = press % 2 == 0 ? kWhite : kBlack;
        turns.HostsTurn();
        const CStopwatch watch;
        Require(session.MouseClick(kTargetX, kTargetY, PH_BUTTON_LEFT, true) == PH_OK, "cannot send the press");
        Require(host.WaitForPixel(expected, kTimeoutMs), "the press never showed");
        hostPresses.push_back(watch.Milliseconds());
        Require(session.MouseClick(kTargetX, kTargetY, PH_BUTTON_LEFT, false) == PH_OK, "cannot send the release");
        turns.BaresTurn();
        barePresses.push_back(bare.Press());
    }
    PrintRow({"chromium_press_to_frame", "Chromium engine: a press sent to the first frame that shows its effect",
              Median(hostPresses), "ms", "the bare client's press to its first screencast frame that shows it",
              Median(barePresses), Goal::RatioAtMost, 1.5});
}

// When the bare client decodes as the engine does: frames decoded per second and a press to its
// decoded frame, with each frame acked on receipt (as the engine acks) against acked once a
// decoding thread takes it; the two take turns.
void MeasureAckPolicies(CBareClient& bare, CTurns& turns)
{
    using Decoding = CBareClient::Decoding;
    turns.BaresTurn();
    std::vector<double> rates[2];
    std::vector<double> presses[2];
    const Decoding policies[2] = {Decoding::AckOnReceipt, Decoding::AckOnTake};
    for (int window = 0; window < kFrameWindows; ++window) {
        for (int policy = 0; policy < 2; ++policy) {
            bare.Decode(policies[policy]);
            ::Sleep(kSettleMs);
            rates[policy].push_back(WindowRate([&] { return bare.Decoded(); }));
            presses[policy].push_back(bare.Press());
        }
    }
    bare.Decode(Decoding::Off);
    PrintRow({"chromium_ack_on_take_frames_per_second",
              "Bare client decoding as the engine does at 1920x1080, a frame acked as a decoder takes it: frames "
              "decoded per second",
              Median(rates[1]), "1/s", "the same, each frame acked on receipt (as the engine acks)", Median(rates[0]),
              Goal::Report, 0});
    PrintRow({"chromium_ack_on_take_press_to_frame",
              "Bare client decoding as the engine does, a frame acked as a decoder takes it: a press to its decoded "
              "frame",
              Median(presses[1]), "ms", "the same, each frame acked on receipt (as the engine acks)",
              Median(presses[0]), Goal::Report, 0});
}

// The host's memory at the largest size, sampled on the host's turns.
void MeasureMemory(CHostUnderTest& host, CTurns& turns)
{
    std::vector<double> memory;
    bool isWorkingSet = false;
    for (int sample = 0; sample < kFrameWindows; ++sample) {
        turns.HostsTurn();
        const SMemorySample taken = PrivateBytes(host.Process());
        Require(taken.bytes > 0, "cannot read the host's memory counters");
        memory.push_back(taken.bytes);
        isWorkingSet = taken.isWorkingSet;
        ::Sleep(kSettleMs);
    }
    // The frame shown, the one handed over to the UI thread, one per decoding thread, and the
    // shared block the add-in reads.
    constexpr double kMiB = 1024.0 * 1024.0;
    const double bitmaps =
        double{kWidth} * kHeight * 4 * (kDecodingThreads + 2) + static_cast<double>(NsChannel::kBlockSize);
    PrintRow({"chromium_host_private_memory",
              isWorkingSet ? "Chromium engine: private memory of the host at 1920x1080 (Wine: its working set)"
                           : "Chromium engine: private memory of the host at 1920x1080",
              Median(memory) / kMiB, "MiB", "the frame bitmaps it must hold and the shared block", bitmaps / kMiB,
              Goal::Report, 0});
}

int RunBenchmarks()
{
    MeasureStarts();

    CBareClient bare;
    bare.StartAndLoad();
    CHostUnderTest host;
    Launch(host);
    std::string frame;
    {
        CTurns turns(host, bare);
        MeasureRates(host, bare, turns, kWidth, kHeight);
        frame = bare.LastFrame(); // a 1920 x 1080 one
        MeasureMemory(host, turns);
        MeasurePresses(host, bare, turns);
        MeasureAckPolicies(bare, turns);
        MeasureRates(host, bare, turns, kStartWidth, kStartHeight);
    }
    Require(host.Close(kTimeoutMs), "the host did not end after the close command");

    PrintRow({"chromium_frame_decode", "libjpeg-turbo decode of one 1920x1080 screencast JPEG into BGRA, one thread",
              DecodeMs(cefcompat::FrameCodec::LibJpegTurbo, frame), "ms", "WIC decode of the same frame",
              DecodeMs(cefcompat::FrameCodec::Wic, frame), Goal::RatioAtMost, 0.25});
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
