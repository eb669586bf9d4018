// A flood of commands of every code at full speed, with queries in between: every query is
// answered in order with the right content; after it the host holds no more handles, threads
// or private memory than after a warm-up, beyond a small margin; and frames still flow.

#include "FaultSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace NsFaultTest;
using NsChannel::Command;
using NsHostTest::CAddinEnd;
using NsHostTest::CChildProcess;
using NsHostTest::CEngineControl;
using NsHostTest::HostArguments;
using NsHostTest::HostPath;
using NsHostTest::LoadUrlCommand;
using NsHostTest::MakeCommand;
using NsHostTest::ResizeCommand;

namespace {

const std::wstring kHome = L"http://pagehull.test/home";

// The journal of the scripted engine, which lives in the host, keeps its latest 50,000 lines.
// It is filled first, with cheap moves, so that its growth is not taken for the host's; the
// warm-up rounds then take every path of the flood once.
constexpr long kJournalCapacity = 50000;
constexpr size_t kWarmUpRounds = 50;
constexpr size_t kMarginHandles = 8;
constexpr size_t kMarginThreads = 1;
constexpr uint64_t kMarginPrivateBytes = 4u << 20;
// Status requests, each waited for up to the runtime's reply limit, before the UI thread counts
// as stuck.
constexpr int kStatusRequests = 8;

std::wstring Away(size_t round)
{
    return L"http://pagehull.test/away/" + std::to_wstring(round % 7);
}

// Drives rounds of commands. Each round leaves the history as [home, away] at home, so the
// three queries always have one right answer: home, cannot go back, can go forward.
class CFlood {
public:
    explicit CFlood(CAddinEnd& addin) : m_addin(addin) {}

    size_t Commands() const { return m_commands; }
    size_t Queries() const { return m_queries; }

    ::testing::AssertionResult Round(size_t round)
    {
        const int32_t width = round % 2 == 0 ? 160 : 170;
        const int32_t height = round % 2 == 0 ? 120 : 130;
        const auto x = static_cast<int32_t>(round % 150);
        const auto y = static_cast<int32_t>(round % 110);

        Command move = MakeCommand(NsChannel::CMD_MOUSE_MOVE);
        move.x = x;
        move.y = y;
        Command wheel = MakeCommand(NsChannel::CMD_MOUSE_WHEEL);
        wheel.x = x;
        wheel.y = y;
        wheel.deltaY = -120;
        Command down = MakeCommand(NsChannel::CMD_MOUSE_CLICK);
        down.x = x;
        down.y = y;
        down.leftButton = true;
        down.buttonDown = true;
        Command up = down;
        up.buttonDown = false;
        Command focus = MakeCommand(NsChannel::CMD_FOCUS);
        focus.focused = round % 3 != 0;
        Command key = MakeCommand(NsChannel::CMD_KEY);
        key.keyCode = 'A' + static_cast<int32_t>(round % 26);
        key.keyDown = round % 3 == 0;
        key.keyUp = round % 3 == 1;
        Command resize = MakeCommand(NsChannel::CMD_RESIZE);
        resize.width = width;
        resize.height = height;
        Command script = MakeCommand(NsChannel::CMD_EXECUTE_SCRIPT);
        script.text = u"window.round = " + std::u16string(1, static_cast<char16_t>(u'0' + round % 10)) + u";";
        // Answers to dialogs nobody asked: dropped by the host.
        Command jsAnswer = MakeCommand(NsChannel::CMD_JS_DIALOG_REPLY);
        jsAnswer.answer = true;
        jsAnswer.text = u"unasked";
        Command fileAnswer = MakeCommand(NsChannel::CMD_FILE_DIALOG_REPLY);
        fileAnswer.answer = true;
        fileAnswer.paths = {u"C:\\a.txt", u"C:\\b.txt"};

        for (const Command* command : {&resize, &move, &wheel, &down, &up})
            if (!Send(*command))
                return ::testing::AssertionFailure() << "command not sent";
        if (auto ok = QueriesAnswered(); !ok)
            return ok;
        for (const Command* command : {&focus, &key, &script, &jsAnswer, &fileAnswer, &move, &down, &up})
            if (!Send(*command))
                return ::testing::AssertionFailure() << "command not sent";
        if (auto ok = QueriesAnswered(); !ok)
            return ok;
        return Navigate(Away(round));
    }

    // Load, back, forward, back; then wait until the last of them has been reported.
    ::testing::AssertionResult Navigate(const std::wstring& away)
    {
        if (!Send(LoadUrlCommand(away)) || !Send(MakeCommand(NsChannel::CMD_GO_BACK)) ||
            !Send(MakeCommand(NsChannel::CMD_GO_FORWARD)) || !Send(MakeCommand(NsChannel::CMD_GO_BACK)))
            return ::testing::AssertionFailure() << "navigation not sent";
        for (const std::wstring& address : {away, kHome, away, kHome})
            if (!m_addin.WaitForEvent(L"address:" + address))
                return ::testing::AssertionFailure() << "no address event for the navigations to " << Narrow(away);
        return ::testing::AssertionSuccess();
    }

private:
    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    bool Send(const Command& command)
    {
        ++m_commands;
        return m_addin.Send(command);
    }

    ::testing::AssertionResult QueriesAnswered()
    {
        m_commands += 3;
        m_queries += 3;
        const std::optional<std::wstring> url = m_addin.QueryUrl();
        if (url != kHome)
            return ::testing::AssertionFailure() << "address reply: " << Narrow(url.value_or(L"(none)"));
        if (m_addin.QueryFlag(NsChannel::CMD_CAN_GO_BACK) != false)
            return ::testing::AssertionFailure() << "can-go-back reply wrong or missing";
        if (m_addin.QueryFlag(NsChannel::CMD_CAN_GO_FORWARD) != true)
            return ::testing::AssertionFailure() << "can-go-forward reply wrong or missing";
        return ::testing::AssertionSuccess();
    }

    CAddinEnd& m_addin;
    size_t m_commands = 0;
    size_t m_queries = 0;
};

::testing::AssertionResult FillJournal(CAddinEnd& addin, CEngineControl& engine)
{
    Command resize = MakeCommand(NsChannel::CMD_RESIZE);
    resize.width = 160;
    resize.height = 120;
    if (!addin.Send(resize))
        return ::testing::AssertionFailure() << "resize not sent";
    Command move = MakeCommand(NsChannel::CMD_MOUSE_MOVE);
    for (int32_t i = 0;; ++i) {
        const std::string mark = engine.Mark();
        if (mark.empty())
            return ::testing::AssertionFailure() << "no journal mark";
        if (std::stol(mark) > kJournalCapacity + kJournalCapacity / 10)
            return ::testing::AssertionSuccess();
        for (int32_t step = 0; step < 1000; ++step) {
            move.x = step % 100;
            move.y = (i + step) % 100;
            if (!addin.Send(move))
                return ::testing::AssertionFailure() << "move not sent";
        }
        // Answered once every move before it has been handed to CEF...
        if (addin.QueryUrl() != kHome)
            return ::testing::AssertionFailure() << "wrong address reply while filling the journal";
        // ...and this once the UI thread has carried them out: no backlog is left for the
        // flood's waits, however slow the machine. One request is answered within the runtime's
        // own limit, which a thread still carrying out the moves on a crowded machine can miss.
        std::optional<std::string> status = engine.Request("status");
        for (int asked = 1; asked < kStatusRequests && status == "error timeout"; ++asked)
            status = engine.Request("status");
        if (!status || status->compare(0, 3, "ok ") != 0)
            return ::testing::AssertionFailure() << "UI thread behind: " << status.value_or("pipe broken");
    }
}

// Commands per round: 13 + 3 + 3 queries, and 4 navigations.
constexpr size_t kCommandsPerRound = 23;

} // namespace

TEST(CommandFlood, EveryQueryIsAnsweredInOrderAndTheHostDoesNotGrow)
{
    const int32_t index = NextIndex();
    CAddinEnd addin(static_cast<int32_t>(::GetCurrentProcessId()), index);
    ASSERT_TRUE(addin.IsOpen());
    CChildProcess host(HostPath(), HostArguments(static_cast<int32_t>(::GetCurrentProcessId()), index, kHome));
    ASSERT_TRUE(addin.WaitForEvent(L"loadEnd:200"));

    CEngineControl engine(host);
    ASSERT_TRUE(engine.IsConnected());

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(FillJournal(addin, engine));
    CFlood flood(addin);
    ASSERT_TRUE(flood.Navigate(Away(0)));
    for (size_t round = 1; round <= kWarmUpRounds; ++round)
        ASSERT_TRUE(flood.Round(round)) << "warm-up round " << round;
    const CProcessCounters warm = ReadCounters(host.Handle(), host.Id());

    const size_t rounds = Scaled(100000, 10000) / kCommandsPerRound;
    const size_t before = flood.Commands();
    const size_t queriesBefore = flood.Queries();
    const auto measured = std::chrono::steady_clock::now();
    for (size_t round = 1; round <= rounds; ++round)
        ASSERT_TRUE(flood.Round(kWarmUpRounds + round)) << "round " << round;
    const auto ended = std::chrono::steady_clock::now();
    const CProcessCounters end = ReadCounters(host.Handle(), host.Id());

    const auto ms = [](auto duration) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
    };
    std::printf("journal filled and warm-up: %lld ms; flood: %zu commands (%zu queries) in %lld ms\n"
                "host after the warm-up: %s\nhost after the flood:   %s\n",
                static_cast<long long>(ms(measured - started)), flood.Commands() - before,
                flood.Queries() - queriesBefore, static_cast<long long>(ms(ended - measured)), Describe(warm).c_str(),
                Describe(end).c_str());
    EXPECT_LE(end.handles, warm.handles + kMarginHandles);
    EXPECT_LE(end.threads, warm.threads + kMarginThreads);
    EXPECT_LE(end.privateBytes, warm.privateBytes + kMarginPrivateBytes);

    // Frames still flow, at a new size.
    Command resize = MakeCommand(NsChannel::CMD_RESIZE);
    resize.width = 300;
    resize.height = 200;
    ASSERT_TRUE(addin.Send(resize));
    EXPECT_TRUE(addin.WaitForFrame(300, 200));

    ASSERT_TRUE(addin.Send(NsChannel::CMD_CLOSE));
    EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
}

// The window closed by its own WM_CLOSE while resizes keep arriving, many to a write so that
// the reader is busy dispatching them: a command dispatched between the browser's close and
// the end of the process must find the window alive, never revive one whose last reference
// is gone.
TEST(CommandFlood, ResizesArrivingWhileTheWindowClosesLeaveACleanExit)
{
    std::vector<unsigned char> burst;
    for (int32_t i = 0; i < 64; ++i) {
        const std::vector<unsigned char> one = FramedCommand(ResizeCommand(200 + i % 2, 150));
        burst.insert(burst.end(), one.begin(), one.end());
    }
    for (size_t run = 1; run <= Scaled(40, 10); ++run) {
        const int32_t index = NextIndex();
        CManualAddin addin(NsHostTest::SelfPid(), index);
        CChildProcess host(HostPath(), HostArguments(NsHostTest::SelfPid(), index, kHome));
        ASSERT_TRUE(addin.WaitForHost(host.Handle()));
        ASSERT_TRUE(addin.WaitForEvent(u"loadEnd:200"));
        const HWND window = NsHostTest::FindHostWindow(host.Id());
        ASSERT_NE(window, nullptr);

        std::atomic<bool> stop{false};
        std::thread flood([&addin, &burst, &stop]() {
            while (!stop && addin.Write(burst.data(), burst.size())) {}
        });
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        const std::optional<DWORD> exitCode = host.WaitForExit();
        stop = true;
        flood.join();
        ASSERT_EQ(exitCode, kExitBrowserClosed) << "run " << run;
    }
}
