// pagehull_e2e_bench
// The real Pagehull.exe driven by this program in the add-in's place through PagehullClient.dll,
// the scripted engine behind it, each figure beside a baseline measured in the same run:
// - start to "browserCreated:" and the close command to the process's end, against the start
//   of an empty program (this one, with a switch that returns at once);
// - the address query's round trip, and commands without reply per second, against the same
//   records on a plain pipe to a copy of this program;
// - frames per second that reach the add-in at 1920 x 1080 while the engine paints as fast as
//   it can (every mouse move repaints; a few are kept in flight);
// - the private memory of the browser process at that size, against the bytes of its three
//   bitmaps and the shared block.
// Each figure is the median of several runs. Table rows go to stdout (see BenchSupport.h).

#include "BenchSupport.h"
#include "HostUnderTest.h"
#include "PlainPipe.h"
#include "SharedBlock.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

using NsBench::BinFolder;
using NsBench::CStopwatch;
using NsBench::Goal;
using NsBench::Median;
using NsBench::PrintRow;
using NsBench::Require;
using NsBench::SFailure;

namespace {

constexpr wchar_t kEmptySwitch[] = L"--empty";
constexpr wchar_t kAddress[] = L"http://bench.example/";
constexpr wchar_t kBrowserCreated[] = L"browserCreated:";
const std::vector<std::wstring> kScriptedEngine = {L"--cefcompat-engine=scripted"};
constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr DWORD kTimeoutMs = 30000;

constexpr int kLaunches = 7;
constexpr int kRoundTrips = 300;
constexpr int kCommandBatches = 7;
constexpr int kCommandsPerBatch = 1000;
constexpr int kFrameWindows = 7;
constexpr double kFrameWindowMs = 1000.0;
// Mouse moves sent but not yet seen painted: enough that the engine never waits for the next.
constexpr uint64_t kMovesInFlight = 3;
// Frames announced while the add-in is still reading one collapse into one announcement, so a
// stream can seem to stall with moves still counted in flight; after this long the count is
// taken as settled.
constexpr DWORD kResettleMs = 100;
constexpr double kMiB = 1024.0 * 1024.0;

std::wstring SelfPath()
{
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

// Creation of a process to its end, for a program that does nothing.
double EmptyProgramMs()
{
    std::wstring commandLine = L"\"" + SelfPath() + L"\" " + kEmptySwitch;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    const CStopwatch watch;
    Require(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &created) != FALSE,
            "cannot start the empty program");
    const NsWin32::CKernelHandle process(created.hProcess);
    const NsWin32::CKernelHandle thread(created.hThread);
    Require(::WaitForSingleObject(process.Get(), kTimeoutMs) == WAIT_OBJECT_0, "the empty program did not end");
    return watch.Milliseconds();
}

void MeasureStartAndClose(const std::wstring& hostPath)
{
    std::vector<double> starts;
    std::vector<double> closes;
    std::vector<double> empties;
    for (int launch = 0; launch < kLaunches; ++launch) {
        empties.push_back(EmptyProgramMs());
        CHostUnderTest host;
        const CStopwatch startWatch;
        Require(host.Launch(hostPath, kAddress, kScriptedEngine, kTimeoutMs), "the host did not open its channel");
        Require(host.WaitForEvent(kBrowserCreated, kTimeoutMs), "no browserCreated: from the host");
        starts.push_back(startWatch.Milliseconds());
        const CStopwatch closeWatch;
        Require(host.Close(kTimeoutMs), "the host did not end after the close command");
        closes.push_back(closeWatch.Milliseconds());
    }
    const double empty = Median(empties);
    PrintRow({"host_start", "Start of Pagehull.exe to \"browserCreated:\"", Median(starts), "ms",
              "start of an empty Windows program under Wine", empty, Goal::Report, 0});
    PrintRow({"host_close", "CMD_CLOSE to the end of Pagehull.exe", Median(closes), "ms",
              "start of an empty Windows program under Wine", empty, Goal::Report, 0});
}

// Starts a host and brings its view to the largest frame.
void StartFullSize(CHostUnderTest& host, const std::wstring& hostPath)
{
    Require(host.Launch(hostPath, kAddress, kScriptedEngine, kTimeoutMs), "the host did not open its channel");
    Require(host.WaitForEvent(kBrowserCreated, kTimeoutMs), "no browserCreated: from the host");
    Require(host.Session().Resize(kWidth, kHeight) == PH_OK, "cannot send the resize command");
    Require(host.WaitForFrameSize(kWidth, kHeight, kTimeoutMs), "no 1920 x 1080 frame");
}

template <typename Step>
std::vector<double> TimeEach(int count, Step step)
{
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        const CStopwatch watch;
        step();
        samples.push_back(watch.Milliseconds());
    }
    return samples;
}

// The two take turns, trip by trip, so that whatever else the machine does falls on both.
void MeasureRoundTrips(CHostUnderTest& host, CPlainPipe& plain)
{
    std::vector<double> hostMs;
    std::vector<double> plainMs;
    for (int trip = 0; trip < kRoundTrips; ++trip) {
        const CStopwatch hostWatch;
        Require(host.QueryUrl(), "no reply to CMD_GET_URL");
        hostMs.push_back(hostWatch.Milliseconds());
        const CStopwatch plainWatch;
        Require(plain.RoundTrip(), "the plain pipe failed");
        plainMs.push_back(plainWatch.Milliseconds());
    }
    PrintRow({"query_round_trip", "CMD_GET_URL query to reply round trip (real host)", Median(hostMs) * 1000.0, "us",
              "plain named-pipe ping-pong of a 4,104-byte request and a 4,172-byte answer", Median(plainMs) * 1000.0,
              Goal::RatioAtMost, 1.5});
}

// A batch of commands through the channel and the dispatcher is done when the query sent
// after it is answered: the host reads and handles records one at a time, in order. A batch
// that reaches the browser is done when the browser has carried it out too: the browser takes
// calls in order, so a mouse move inside the view sent last is painted after all of them.
void MeasureCommandRate(CHostUnderTest& host, CPlainPipe& plain)
{
    pagehull::Session& session = host.Session();
    const auto sendMany = [&](const auto& send) {
        for (int i = 0; i < kCommandsPerBatch; ++i)
            Require(send() == PH_OK, "cannot send a command");
    };
    // A move outside the view stops at the window's check, before the browser.
    const auto dispatchBatch = [&] {
        sendMany([&] { return session.MouseMove(-1, 0); });
        Require(host.QueryUrl(), "no reply after a batch of commands");
    };
    const auto browserBatch = [&] {
        const uint64_t frames = host.FramesReceived();
        sendMany([&] { return session.GoBack(); });
        Require(session.MouseMove(kWidth / 2, kHeight / 2) == PH_OK, "cannot send a command");
        Require(host.WaitForFramesAbove(frames, kTimeoutMs), "the browser did not paint after a batch");
    };
    const auto plainBatch = [&] {
        for (int i = 0; i < kCommandsPerBatch; ++i)
            Require(plain.SendCommand(), "the plain pipe failed");
        Require(plain.RoundTrip(), "the plain pipe failed");
    };
    const double perSecond = 1000.0 * (kCommandsPerBatch + 1);
    const double plainRate = perSecond / Median(TimeEach(kCommandBatches, plainBatch));
    const double dispatchRate = perSecond / Median(TimeEach(kCommandBatches, dispatchBatch));
    const double browserRate = perSecond / Median(TimeEach(kCommandBatches, browserBatch));
    PrintRow({"commands_per_second", "Commands without reply per second, end to end (CMD_GO_BACK, no history)",
              browserRate, "1/s", "the same writes on a plain pipe", plainRate, Goal::RatioAtLeast, 0.7});
    PrintRow({"commands_per_second_to_window",
              "Commands without reply per second, channel and dispatch only (mouse moves outside the view)",
              dispatchRate, "1/s", "the same writes on a plain pipe", plainRate, Goal::Report, 0});
}

// Every mouse move inside the view makes the engine paint the whole view again.
void MeasureFrameRate(CHostUnderTest& host)
{
    const uint64_t base = host.FramesReceived();
    uint64_t sent = 0;
    int resettles = 0;
    std::vector<double> rates;
    std::vector<double> privateBytes;
    bool isWorkingSet = false;
    for (int window = 0; window < kFrameWindows; ++window) {
        const uint64_t first = host.FramesReceived();
        const CStopwatch watch;
        while (watch.Milliseconds() < kFrameWindowMs) {
            if (sent >= host.FramesReceived() - base + kMovesInFlight) {
                if (!host.WaitForFramesAbove(base + sent - kMovesInFlight, kResettleMs)) {
                    sent = host.FramesReceived() - base;
                    ++resettles;
                }
                continue;
            }
            const auto x = static_cast<int32_t>(100 + sent % 1000);
            Require(host.Session().MouseMove(x, kHeight / 2) == PH_OK, "cannot send a mouse move");
            ++sent;
        }
        rates.push_back(1000.0 * static_cast<double>(host.FramesReceived() - first) / watch.Milliseconds());
        const SMemorySample memory = PrivateBytes(host.Process());
        Require(memory.bytes > 0, "cannot read the host's memory counters");
        privateBytes.push_back(memory.bytes);
        isWorkingSet = memory.isWorkingSet;
    }
    std::printf("frame stream: %llu moves sent, %llu frames received, %d re-settled in-flight counts\n",
                static_cast<unsigned long long>(sent), static_cast<unsigned long long>(host.FramesReceived() - base),
                resettles);
    PrintRow({"frames_per_second",
              "Frames per second the add-in side receives at 1920x1080, end to end (engine painting flat out)",
              Median(rates), "1/s", "-", 0, Goal::FigureAtLeast, 60});

    constexpr double kBitmapBytes = double{kWidth} * kHeight * 4;
    const double budget = 3 * kBitmapBytes + static_cast<double>(NsChannel::kBlockSize);
    PrintRow({"host_private_memory",
              isWorkingSet ? "Private memory of the browser process at 1920x1080 (Wine: its working set)"
                           : "Private memory of the browser process at 1920x1080",
              Median(privateBytes) / kMiB, "MiB", "bytes of the three bitmaps and the shared block", budget / kMiB,
              Goal::RatioAtMost, 1.5});
}

int RunBenchmarks()
{
    const std::wstring hostPath = BinFolder() + L"Pagehull.exe";
    MeasureStartAndClose(hostPath);

    CHostUnderTest host;
    StartFullSize(host, hostPath);
    CPlainPipe plain;
    Require(plain.Start(SelfPath(), kTimeoutMs), "cannot start the plain pipe's peer");
    MeasureRoundTrips(host, plain);
    MeasureCommandRate(host, plain);
    MeasureFrameRate(host);
    Require(host.Close(kTimeoutMs), "the host did not end after the close command");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && std::wcscmp(argv[1], kEmptySwitch) == 0)
        return 0;
    if (argc == 4 && std::wcscmp(argv[1], kPlainPipePeerSwitch) == 0)
        return RunPlainPipePeer(argv[2], argv[3]);
    if (argc != 1) {
        std::fputs("usage: pagehull_e2e_bench\n", stderr);
        return 1;
    }
    try {
        return RunBenchmarks();
    } catch (const SFailure& failure) {
        std::fprintf(stderr, "pagehull_e2e_bench: %s\n", failure.what);
        return 2;
    }
}
