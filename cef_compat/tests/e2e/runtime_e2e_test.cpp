// The runtime driven through the test client, a CEF application under Wine: start-up and the
// render process, windowless frames, input from another thread, process messages through an
// extension, dialogs, popups, navigation, developer tools and closing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client_session.h"

namespace cefcompat_test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class RuntimeTest : public ::testing::Test {
protected:
    void Start(const std::vector<std::wstring>& arguments = {L"http://start.test/"})
    {
        m_session = std::make_unique<CClientSession>(arguments);
        ASSERT_TRUE(m_session->IsReady()) << m_session->Problem();
    }
    void StartLoaded()
    {
        Start();
        ASSERT_FALSE(m_session->WaitReport({"load-end", "main=1", "status=200"}).empty());
    }
    CClientSession& S() { return *m_session; }

    std::unique_ptr<CClientSession> m_session;
};

TEST_F(RuntimeTest, StartsTheRenderProcessFromTheSameExecutableAndEndsItWithTheBrowser)
{
    Start();
    EXPECT_FALSE(S().WaitJournal({"call", "CefInitialize", "no_sandbox=1", "log_severity=99"}).line.empty());
    EXPECT_FALSE(S().WaitReport({"context-initialized", "on_ui=1"}).empty());
    EXPECT_FALSE(S().WaitReport({"created", "on_ui=1"}).empty());

    const CJournalHit launched = S().WaitJournal({"event", "RendererLaunched"});
    ASSERT_NE(launched.seq, 0u);
    const std::string commandLine = Decode(Field(launched.line, "command_line"));
    EXPECT_THAT(commandLine, HasSubstr("--type=renderer"));
    EXPECT_THAT(commandLine, HasSubstr("--test-marker=42")); // from OnBeforeChildProcessLaunch
    EXPECT_THAT(commandLine, HasSubstr("--log-severity=disable"));
    const DWORD rendererPid = static_cast<DWORD>(std::stoul(Field(launched.line, "pid")));
    EXPECT_NE(rendererPid, S().Pid());

    EXPECT_NE(S().WaitJournal({"renderer", "hook", "OnRenderThreadCreated", "extra_info=s:hello-renderer"}).seq, 0u);
    const CJournalHit webkit = S().WaitJournal({"renderer", "hook", "OnWebKitInitialized"});
    const CJournalHit registered = S().WaitJournal(
        {"renderer", "call", "CefRegisterExtension", "extension_name=test/bridge", "natives=notify,echo", "value=1"});
    ASSERT_NE(webkit.seq, 0u);
    EXPECT_GT(registered.seq, webkit.seq);

    CHandle renderer(OpenProcess(SYNCHRONIZE, FALSE, rendererPid));
    ASSERT_TRUE(renderer);
    S().Send("close");
    EXPECT_EQ(S().WaitExit(), 0u);
    EXPECT_EQ(WaitForSingleObject(renderer.Get(), kWaitMs), WAIT_OBJECT_0);
}

TEST_F(RuntimeTest, PaintsWindowlessFramesOfTheAskedSizeAndRepaintsAfterResize)
{
    Start({L"--test-width=320", L"--test-height=200", L"http://size.test/"});
    EXPECT_FALSE(S().WaitReport({"paint", "type=0", "width=320", "height=200", "dirty=1", "on_ui=1"}).empty());

    const size_t mark = S().ReportMark();
    S().Send("resize 500 300");
    EXPECT_FALSE(S().WaitReport({"paint", "type=0", "width=500", "height=300"}, mark).empty());
    EXPECT_NE(S().WaitJournal({"call", "WasResized", "on_ui=0"}).seq, 0u);
    EXPECT_NE(S().WaitJournal({"return", "GetViewRect", "value=1", "width=500", "height=300"}).seq, 0u);
}

TEST_F(RuntimeTest, InputFromAnotherThreadIsJournaledWithEveryFieldInCallOrderAndReachesThePage)
{
    StartLoaded();
    const uint64_t start = S().JournalMark();
    S().Send("click 100 50");
    S().Send("key 3 65");
    S().Send("wheel 5000 5000 0 -120");
    S().Send("move 10 20");
    S().Send("focus 1");
    S().Send("script window.close = function() {};");

    const CJournalHit click = S().WaitJournal({"call", "SendMouseClickEvent", "on_ui=0", "x=100", "y=50", "modifiers=6",
                                               "button=0", "mouse_up=0", "click_count=1"},
                                              start);
    const CJournalHit key = S().WaitJournal({"call", "SendKeyEvent", "on_ui=0", "type=3", "modifiers=520",
                                             "windows_key_code=65", "native_key_code=1966081", "is_system_key=1",
                                             "character=65", "unmodified_character=66", "focus_on_editable_field=1"},
                                            start);
    const CJournalHit wheel = S().WaitJournal(
        {"call", "SendMouseWheelEvent", "x=5000", "y=5000", "modifiers=6", "delta_x=0", "delta_y=-120"}, start);
    const CJournalHit move = S().WaitJournal({"call", "SendMouseMoveEvent", "x=10", "y=20", "mouse_leave=0"}, start);
    const CJournalHit focus = S().WaitJournal({"call", "SendFocusEvent", "set_focus=1"}, start);
    const CJournalHit script =
        S().WaitJournal({"call", "ExecuteJavaScript", "on_ui=0", "code=window.close%20=%20function()%20{};",
                         "script_url=http://start.test/", "start_line=7"},
                        start);
    ASSERT_NE(click.seq, 0u);
    EXPECT_LT(click.seq, key.seq);
    EXPECT_LT(key.seq, wheel.seq);
    EXPECT_LT(wheel.seq, move.seq);
    EXPECT_LT(move.seq, focus.seq);
    EXPECT_LT(focus.seq, script.seq);

    // The click's mark is drawn where the click arrived. The calls above are journaled when made,
    // before the UI thread carries them out, so a paint after them may still show an earlier page;
    // a request served on the UI thread is queued behind them and answers once the last has painted.
    ASSERT_EQ(S().Control("status").compare(0, 3, "ok "), 0);
    const size_t mark = S().ReportMark();
    S().Send("pixel 100 50");
    EXPECT_FALSE(S().WaitReport({"pixel", "b=30", "g=30", "r=220", "a=255"}, mark).empty());
    S().Send("pixel 300 300");
    EXPECT_FALSE(S().WaitReport({"pixel", "b=244", "g=250", "r=250", "a=255"}, mark).empty());
}

TEST_F(RuntimeTest, ExtensionNativeFunctionsRoundTripAndReportArgumentErrors)
{
    StartLoaded();
    EXPECT_EQ(S().Control("call notify s:hello%20there"), "ok outcome=returned exception=- retval=undefined");
    EXPECT_FALSE(
        S().WaitReport({"message", "name=TestNotify", "from=renderer", "arg0=hello_there", "on_ui=1"}).empty());
    EXPECT_NE(S().WaitJournal({"renderer", "call", "SendProcessMessage", "target_process=browser", "name=TestNotify",
                               "args=s:hello%20there"})
                  .seq,
              0u);

    const std::string onlyOne = "ok outcome=threw exception=notify:%20need%20only%20one%20parameter retval=undefined";
    const std::string needString = "ok outcome=threw exception=notify:%20need%20string%20param retval=undefined";
    EXPECT_EQ(S().Control("call notify"), onlyOne);
    EXPECT_EQ(S().Control("call notify s:a s:b"), onlyOne);
    EXPECT_EQ(S().Control("call notify i:5"), needString);
    EXPECT_EQ(S().Control("call notify object"), needString);
    EXPECT_EQ(S().Control("call notify undefined"), needString);

    EXPECT_EQ(S().Control("call echo d:2.5"), "ok outcome=returned exception=- retval=d:2.5");
    EXPECT_EQ(S().Control("call echo s:%C3%A9t%C3%A9"), "ok outcome=returned exception=- retval=s:été");
    EXPECT_THAT(S().Control("call nosuch"), StartsWith("ok outcome=no-such-function"));
    EXPECT_THAT(S().Control("call echo q:1"), StartsWith("error bad-value"));

    S().Send("send-renderer Ping abc");
    EXPECT_FALSE(S().WaitReport({"message", "name=Pong", "from=renderer", "arg0=abc", "arg1=hello-renderer"}).empty());
    EXPECT_NE(S().WaitJournal({"call", "SendProcessMessage", "on_ui=0", "target_process=renderer", "name=Ping"}).seq,
              0u);
}

TEST_F(RuntimeTest, ScriptAndFileDialogsAreAnsweredFromAnotherThreadAndDroppedOnesAreRecorded)
{
    StartLoaded();
    EXPECT_EQ(S().Control("dialog confirm Proceed%3F"), "ok");
    EXPECT_FALSE(S().WaitReport({"jsdialog", "type=1", "message=Proceed?", "default=-"}).empty());
    S().Send("jsdialog-answer 1 yes please");
    EXPECT_NE(
        S().WaitJournal({"call", "JSDialogCallback.Continue", "on_ui=0", "success=1", "user_input=yes%20please"}).seq,
        0u);
    EXPECT_NE(S().WaitJournal({"event", "DialogResult", "dialog_type=1", "answered=1", "success=1"}).seq, 0u);

    EXPECT_EQ(S().Control("dialog prompt Name%3F Bob"), "ok");
    EXPECT_FALSE(S().WaitReport({"jsdialog", "type=2", "message=Name?", "default=Bob"}).empty());
    S().Send("jsdialog-drop");
    EXPECT_NE(S().WaitJournal({"event", "JSDialogCallback.Dropped"}).seq, 0u);
    EXPECT_NE(S().WaitJournal({"event", "DialogResult", "dialog_type=2", "answered=0"}).seq, 0u);

    EXPECT_EQ(S().Control("file-dialog 16777217 Open - .png .jpg"), "ok");
    EXPECT_FALSE(
        S().WaitReport({"filedialog", "mode=16777217", "title=Open", "default=-", "filters=.png|.jpg"}).empty());
    S().Send("file-answer accept C:\\a.png C:\\b.png");
    const CJournalHit accepted =
        S().WaitJournal({"call", "FileDialogCallback.Continue", "on_ui=0", "selected_accept_filter=0", "count=2"});
    EXPECT_EQ(Field(accepted.line, "file_paths"), "C:\\a.png,C:\\b.png");

    EXPECT_EQ(S().Control("file-dialog 0 - C:\\x.txt"), "ok");
    EXPECT_FALSE(S().WaitReport({"filedialog", "mode=0", "default=C:\\x.txt", "filters=-"}).empty());
    S().Send("file-answer cancel");
    EXPECT_NE(S().WaitJournal({"call", "FileDialogCallback.Cancel", "on_ui=0"}).seq, 0u);
    EXPECT_NE(S().WaitJournal({"event", "FileDialogResult", "answered=1", "accepted=0"}).seq, 0u);
}

TEST_F(RuntimeTest, PopupsTheClientRefusesOpenNoBrowser)
{
    StartLoaded();
    EXPECT_EQ(S().Control("popup http://popup.test/ side"), "ok");
    EXPECT_FALSE(S().WaitReport({"popup", "url=http://popup.test/"}).empty());
    EXPECT_NE(S().WaitJournal({"return", "OnBeforePopup", "value=1"}).seq, 0u);
    EXPECT_NE(S().WaitJournal({"event", "PopupRefused", "target_url=http://popup.test/"}).seq, 0u);
    EXPECT_THAT(S().Control("status"), StartsWith("ok browsers=1 "));
}

TEST_F(RuntimeTest, APopupTheClientAllowsOpensAWindowedBrowserThatShutdownCloses)
{
    Start({L"--test-allow-popups", L"http://start.test/"});
    ASSERT_FALSE(S().WaitReport({"created", "popup=0", "windowless=1", "window=0"}).empty());
    EXPECT_EQ(S().Control("popup http://popup.test/ side"), "ok");
    EXPECT_NE(S().WaitJournal({"event", "PopupOpened", "target_url=http://popup.test/"}).seq, 0u);
    EXPECT_FALSE(S().WaitReport({"created", "popup=1", "windowless=0", "window=1", "on_ui=1"}).empty());
    EXPECT_FALSE(S().WaitReport({"load-end", "main=1", "url=http://popup.test/"}).empty());
    EXPECT_THAT(S().Control("status"), StartsWith("ok browsers=2 "));

    S().Send("close");
    EXPECT_FALSE(S().WaitReport({"before-close", "popup=0"}).empty());
    EXPECT_FALSE(S().WaitReport({"before-close", "popup=1"}).empty());
    EXPECT_FALSE(S().WaitReport({"shutdown"}).empty());
    EXPECT_EQ(S().WaitExit(), 0u);
}

TEST_F(RuntimeTest, NavigationRunsTheHooksInOrderKeepsHistoryAndTakesStatusesAndErrors)
{
    StartLoaded();
    size_t mark = S().ReportMark();
    S().Send("query");
    EXPECT_FALSE(
        S().WaitReport({"query", "can_go_back=0", "can_go_forward=0", "url=http://start.test/"}, mark).empty());

    const uint64_t before = S().JournalMark();
    EXPECT_EQ(S().Control("next-status 404"), "ok");
    mark = S().ReportMark();
    S().Send("load http://b.test/");
    EXPECT_FALSE(S().WaitReport({"load-end", "main=1", "status=404", "url=http://b.test/"}, mark).empty());
    uint64_t seq = before;
    for (const char* hook : {"OnBeforeBrowse", "OnLoadingStateChange", "OnAddressChange", "OnLoadStart",
                             "OnTitleChange", "OnLoadEnd", "OnLoadingStateChange", "OnPaint"}) {
        const uint64_t next = S().WaitJournal({"hook", hook}, seq, 2000).seq;
        EXPECT_GT(next, seq) << hook;
        seq = next;
    }
    mark = S().ReportMark();
    S().Send("query");
    EXPECT_FALSE(S().WaitReport({"query", "can_go_back=1", "can_go_forward=0", "url=http://b.test/"}, mark).empty());

    mark = S().ReportMark();
    S().Send("back");
    EXPECT_FALSE(S().WaitReport({"load-end", "status=200", "url=http://start.test/"}, mark).empty());
    S().Send("query");
    EXPECT_FALSE(S().WaitReport({"query", "can_go_back=0", "can_go_forward=1"}, mark).empty());

    EXPECT_EQ(S().Control("next-error -105 net::ERR_NAME_NOT_RESOLVED"), "ok");
    S().Send("load http://c.test/");
    EXPECT_FALSE(
        S().WaitReport({"load-error", "code=-105", "text=net::ERR_NAME_NOT_RESOLVED", "url=http://c.test/"}, mark)
            .empty());

    const std::string subframe = S().Control("subframe child http://child.test/");
    ASSERT_THAT(subframe, StartsWith("ok frame="));
    EXPECT_NE(
        S().WaitJournal({"hook", "OnAddressChange", "frame=" + Field(subframe, "frame"), "url=http://child.test/"}).seq,
        0u);
    EXPECT_FALSE(S().WaitReport({"load-end", "main=0", "status=200", "url=http://child.test/"}, mark).empty());
}

TEST_F(RuntimeTest, CertificateErrorsDownloadsProtocolsCursorsAndPopupWidgetsReachTheClient)
{
    StartLoaded();
    size_t mark = S().ReportMark();
    EXPECT_EQ(S().Control("cert-error -202 https://bad.test/"), "ok");
    EXPECT_FALSE(S().WaitReport({"cert-error", "code=-202", "url=https://bad.test/"}, mark).empty());
    EXPECT_FALSE(S().WaitReport({"load-end", "main=1", "url=https://bad.test/"}, mark).empty());
    EXPECT_NE(S().WaitJournal({"call", "RequestCallback.Continue", "on_ui=1", "allow=1"}).seq, 0u);

    EXPECT_EQ(S().Control("download http://d.test/f.bin f.bin"), "ok");
    EXPECT_FALSE(S().WaitReport({"download", "name=f.bin", "url=http://d.test/f.bin"}, mark).empty());
    EXPECT_NE(S().WaitJournal({"call", "BeforeDownloadCallback.Continue", "download_path=-", "show_dialog=1"}).seq, 0u);

    EXPECT_EQ(S().Control("protocol mailto:someone@mail.test"), "ok");
    EXPECT_NE(S().WaitJournal({"hook", "OnProtocolExecution", "url=mailto:someone@mail.test"}).seq, 0u);
    EXPECT_EQ(S().Control("protocol http://not.external/"), "error bad-arguments");

    EXPECT_EQ(S().Control("cursor 2"), "ok");
    EXPECT_FALSE(S().WaitReport({"cursor", "type=2", "handle=1"}, mark).empty());

    EXPECT_EQ(S().Control("popup-widget show 10 10 100 50"), "ok");
    EXPECT_FALSE(S().WaitReport({"popup-show", "show=1"}, mark).empty());
    EXPECT_FALSE(S().WaitReport({"paint", "type=1", "width=100", "height=50"}, mark).empty());
    EXPECT_EQ(S().Control("popup-widget show 0 0 0 5"), "error bad-arguments");
}

TEST_F(RuntimeTest, DevToolsOpenARealTopLevelWindowThatClosesOnRequest)
{
    StartLoaded();
    S().Send("devtools");
    const CJournalHit opened = S().WaitJournal({"event", "DevToolsOpened", "title=Dev%20Tools", "visible=1"});
    ASSERT_NE(opened.seq, 0u);
    EXPECT_NE(
        S().WaitJournal({"call", "ShowDevTools", "on_ui=0", "window_name=Dev%20Tools", "inspect_x=5", "inspect_y=7"})
            .seq,
        0u);
    const HWND hwnd =
        reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoul(Field(opened.line, "hwnd"), nullptr, 16)));
    EXPECT_EQ(FindWindowW(nullptr, L"Dev Tools"), hwnd);
    EXPECT_TRUE(IsWindowVisible(hwnd));

    S().Send("devtools");
    EXPECT_NE(S().WaitJournal({"event", "DevToolsFocused"}, opened.seq).seq, 0u);
    S().Send("close-devtools");
    EXPECT_NE(S().WaitJournal({"event", "DevToolsClosed", "reason=CloseDevTools", "was_open=1"}).seq, 0u);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(RuntimeTest, ClosingTheBrowserFromAnotherThreadEndsTheLoopAndTheProcess)
{
    StartLoaded();
    S().Send("devtools");
    const CJournalHit opened = S().WaitJournal({"event", "DevToolsOpened"});
    ASSERT_NE(opened.seq, 0u);
    const HWND hwnd =
        reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoul(Field(opened.line, "hwnd"), nullptr, 16)));
    S().Send("close");
    EXPECT_FALSE(S().WaitReport({"before-close", "popup=0"}).empty());
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(S().WaitReport({"loop-ended"}).empty());
    EXPECT_FALSE(S().WaitReport({"shutdown"}).empty());
    EXPECT_EQ(S().WaitExit(), 0u);
}

} // namespace
} // namespace cefcompat_test
