// A process of the add-in dies while it holds one of the channel's mutexes. The host must
// keep serving commands meanwhile, take the abandoned mutex over when it next needs it,
// publish what it was waiting to publish and release the mutex again; when the dead process
// was the add-in itself, the host then closes through its watch with exit code 2.

#include "FaultSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace NsFaultTest;
using NsHostTest::CChildProcess;
using NsHostTest::CEngineControl;
using NsHostTest::HostArguments;
using NsHostTest::HostPath;
using NsHostTest::MakeCommand;
using NsHostTest::ResizeCommand;

namespace {

const std::wstring kPage = L"http://pagehull.test/abandoned";

// A host driven by hand, watching `addinProcess`, with its first page and frame taken.
struct CWatchedHost {
    CWatchedHost(const CAddinProcess& addinProcess, int32_t channelIndex)
        : addin(addinProcess.Id(), channelIndex),
          host(HostPath(), HostArguments(addinProcess.Id(), channelIndex, kPage)),
          engine(host)
    {
    }

    ::testing::AssertionResult Started()
    {
        if (!addin.IsOpen() || !addin.WaitForHost(host.Handle()) || !engine.IsConnected())
            return ::testing::AssertionFailure() << "the host did not open its channel";
        if (!addin.WaitForEvent(u"loadEnd:200") || !addin.TakeFrame(kTimeoutMs))
            return ::testing::AssertionFailure() << "no first page";
        return ::testing::AssertionSuccess();
    }

    // Page script raises an event; true once the host's UI thread is inside the hook that
    // reports it. The request's answer waits for the UI thread, which may wait for a mutex.
    bool RaiseEvent(const std::string& text)
    {
        pending.push_back(std::make_unique<CPendingRequest>(host, "call addinTrace s:" + text));
        return engine.WaitForJournal("hook OnProcessMessageReceived source_process=renderer").has_value();
    }

    // Sends a focus command; once it has reached CEF (from the reader thread) everything
    // sent before has been dispatched, and the page's repaint for the focus is queued on the
    // UI thread.
    bool Settle()
    {
        NsChannel::Command focus = MakeCommand(NsChannel::CMD_FOCUS);
        focus.focused = true;
        return addin.Send(focus) && engine.WaitForJournal("call SendFocusEvent set_focus=1").has_value();
    }

    bool SendAndSettle(const NsChannel::Command& command) { return addin.Send(command) && Settle(); }

    // True once the host has painted a frame of this size and handed it to the channel. A
    // mutex abandoned by its holder goes to whoever takes it first: the test reads a frame
    // only after the host has taken the frame mutex over, or it could be the one that finds
    // the mutex abandoned. The paint's journal line comes first; the request served on the
    // UI thread answers once that paint is over.
    bool WaitForPaint(int32_t width, int32_t height)
    {
        const std::string size = "width=" + std::to_string(width) + " height=" + std::to_string(height);
        const std::optional<std::string> status =
            engine.WaitForJournal("hook OnPaint " + size) ? engine.Request("status") : std::nullopt;
        return status && status->compare(0, 3, "ok ") == 0;
    }

    CManualAddin addin;
    CChildProcess host;
    CEngineControl engine;
    std::vector<std::unique_ptr<CPendingRequest>> pending;
};

} // namespace

TEST(AddinDiesHoldingTheEventMutex, TheHostPublishesTheWaitingTextAndClosesWithTheAddin)
{
    const int32_t index = NextIndex();
    CAddinProcess addinProcess(0, index, {ChannelObject::BrowserEventMutex});
    CWatchedHost watched(addinProcess, index);
    ASSERT_TRUE(watched.Started());

    ASSERT_TRUE(addinProcess.TakeMutexes());
    // The UI thread now waits for the event mutex without limit...
    ASSERT_TRUE(watched.RaiseEvent("while-held"));
    // ...while the pipe's reader goes on answering.
    EXPECT_EQ(watched.addin.QueryUrl(), kPage);

    addinProcess.Kill();
    EXPECT_TRUE(watched.addin.WaitForEvent(u"addinTrace:while-held"));
    // The host released the mutex it took over: the add-in's next take finds it in order.
    EXPECT_FALSE(watched.addin.FoundAbandoned());
    EXPECT_EQ(watched.host.WaitForExit(), kExitBrowserClosed);
}

TEST(AddinDiesHoldingTheFrameMutex, FramesAreDroppedMeanwhileAndTheNextIsWrittenBeforeTheClose)
{
    const int32_t index = NextIndex();
    CAddinProcess addinProcess(0, index, {ChannelObject::FrameMutex});
    CWatchedHost watched(addinProcess, index);
    ASSERT_TRUE(watched.Started());

    ASSERT_TRUE(addinProcess.TakeMutexes());
    // Each frame now waits its 500 ms and is dropped; events and commands go on.
    ASSERT_TRUE(watched.SendAndSettle(ResizeCommand(320, 240)));
    ASSERT_TRUE(watched.RaiseEvent("frames-held"));
    EXPECT_TRUE(watched.addin.WaitForEvent(u"addinTrace:frames-held"));
    EXPECT_EQ(watched.addin.QueryUrl(), kPage);

    {
        // With the UI thread waiting for this test's event mutex, a repaint queues behind
        // it; it runs after the add-in's end and before the close that the watch queues.
        const CObservedLock events(watched.addin.EventMutex(), kTimeoutMs);
        ASSERT_TRUE(events.Owns());
        ASSERT_TRUE(watched.RaiseEvent("queued"));
        ASSERT_TRUE(watched.Settle());
        addinProcess.Kill();
    }
    ASSERT_TRUE(watched.WaitForPaint(320, 240));
    EXPECT_TRUE(watched.addin.WaitForFrame(320, 240));
    EXPECT_TRUE(watched.addin.WaitForEvent(u"addinTrace:queued"));
    EXPECT_FALSE(watched.addin.FoundAbandoned());
    EXPECT_EQ(watched.host.WaitForExit(), kExitBrowserClosed);
}

TEST(AnotherProcessDiesHoldingBothMutexes, TheHostTakesThemOverAndGoesOnPublishing)
{
    const int32_t index = NextIndex();
    CAddinProcess addinProcess;
    CAddinProcess holder(addinProcess.Id(), index, {ChannelObject::FrameMutex, ChannelObject::BrowserEventMutex});
    CWatchedHost watched(addinProcess, index);
    ASSERT_TRUE(watched.Started());

    ASSERT_TRUE(holder.TakeMutexes());
    ASSERT_TRUE(watched.RaiseEvent("first"));
    ASSERT_TRUE(watched.SendAndSettle(ResizeCommand(200, 150)));
    holder.Kill();
    EXPECT_TRUE(watched.addin.WaitForEvent(u"addinTrace:first"));
    ASSERT_TRUE(watched.WaitForPaint(200, 150));
    EXPECT_TRUE(watched.addin.WaitForFrame(200, 150));

    // Nothing is left of the dead holder: frames and events go on, each under its mutex.
    for (int32_t width = 210; width < 260; width += 10) {
        ASSERT_TRUE(watched.addin.Send(ResizeCommand(width, 100)));
        EXPECT_TRUE(watched.addin.WaitForFrame(width, 100));
        ASSERT_TRUE(watched.RaiseEvent("next-" + std::to_string(width)));
        EXPECT_TRUE(watched.addin.WaitForEvent(U16(L"addinTrace:next-" + std::to_wstring(width))));
    }
    EXPECT_FALSE(watched.addin.FoundAbandoned());
    EXPECT_EQ(watched.addin.QueryUrl(), kPage);

    ASSERT_TRUE(watched.addin.Send(MakeCommand(NsChannel::CMD_CLOSE)));
    EXPECT_EQ(watched.host.WaitForExit(), kExitBrowserClosed);
}
