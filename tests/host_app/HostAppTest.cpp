// The host as the add-in meets it: Pagehull.exe started with and without the add-in's
// switches, driven through its channel, watched through the scripted engine's journal.

#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <string>

using namespace NsHostTest;
using NsChannel::CMD_CAN_GO_BACK;
using NsChannel::CMD_CAN_GO_FORWARD;
using NsChannel::CMD_CLOSE;
using NsChannel::CMD_GO_BACK;

namespace {

const std::wstring kFirstPage = L"http://pagehull.test/first";
const std::wstring kSecondPage = L"http://pagehull.test/second";
// Pages of the scripted engine are titled by their address.
const std::wstring kFirstPageCaption = kFirstPage + L" " + kFirstPage;

// A stand-in for the add-in's process, for the host to watch.
CChildProcess StartAddinStandin()
{
    return CChildProcess(BinaryPath(L"host_app_addin_standin.exe"), std::to_wstring(SelfPid()));
}

} // namespace

TEST(DrivenHost, ReportsItsBrowserAnswersTheQueriesAndClosesOnCommand)
{
    const int32_t index = NextIndex();
    CAddinEnd addin(SelfPid(), index);
    ASSERT_TRUE(addin.IsOpen());
    CChildProcess host(HostPath(), HostArguments(SelfPid(), index, kFirstPage));

    ASSERT_TRUE(addin.WaitForEvent(L"browserCreated:"));
    ASSERT_TRUE(addin.WaitForEvent(L"address:" + kFirstPage));
    EXPECT_EQ(addin.QueryUrl(), kFirstPage);
    EXPECT_EQ(addin.QueryFlag(CMD_CAN_GO_BACK), false);
    EXPECT_EQ(addin.QueryFlag(CMD_CAN_GO_FORWARD), false);

    ASSERT_TRUE(addin.Send(LoadUrlCommand(kSecondPage)));
    ASSERT_TRUE(addin.WaitForEvent(L"address:" + kSecondPage));
    EXPECT_EQ(addin.QueryUrl(), kSecondPage);
    EXPECT_EQ(addin.QueryFlag(CMD_CAN_GO_BACK), true);
    EXPECT_EQ(addin.QueryFlag(CMD_CAN_GO_FORWARD), false);

    ASSERT_TRUE(addin.Send(CMD_GO_BACK));
    ASSERT_TRUE(addin.WaitForEvent(L"address:" + kFirstPage));
    EXPECT_EQ(addin.QueryUrl(), kFirstPage);
    EXPECT_EQ(addin.QueryFlag(CMD_CAN_GO_BACK), false);
    EXPECT_EQ(addin.QueryFlag(CMD_CAN_GO_FORWARD), true);

    // Driven by the add-in, the native window is there but never shown.
    const HWND window = FindHostWindow(host.Id());
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(::IsWindowVisible(window));

    ASSERT_TRUE(addin.Send(CMD_CLOSE));
    EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
}

TEST(DrivenHost, PassesTheAddinsCommandsOnToTheBrowser)
{
    const int32_t index = NextIndex();
    CAddinEnd addin(SelfPid(), index);
    CChildProcess host(HostPath(), HostArguments(SelfPid(), index, kFirstPage));
    ASSERT_TRUE(addin.WaitForEvent(L"address:" + kFirstPage));
    CEngineControl engine(host);
    ASSERT_TRUE(engine.IsConnected());

    NsChannel::Command focus = MakeCommand(NsChannel::CMD_FOCUS);
    focus.focused = true;
    ASSERT_TRUE(addin.Send(focus));
    EXPECT_TRUE(engine.WaitForJournal("call SendFocusEvent set_focus=1"));

    // The wheel has no bounds: the add-in's coordinates go on as they are.
    NsChannel::Command wheel = MakeCommand(NsChannel::CMD_MOUSE_WHEEL);
    wheel.x = 5000;
    wheel.y = 5000;
    wheel.deltaY = -120;
    wheel.modifiers = 2;
    ASSERT_TRUE(addin.Send(wheel));
    EXPECT_TRUE(engine.WaitForJournal("call SendMouseWheelEvent x=5000 y=5000 modifiers=2 delta_x=0 delta_y=-120"));

    // Neither flag makes a character carried in the key code.
    NsChannel::Command key = MakeCommand(NsChannel::CMD_KEY);
    key.keyCode = 65;
    key.keyDown = true;
    ASSERT_TRUE(addin.Send(key));
    EXPECT_TRUE(engine.WaitForJournal("call SendKeyEvent type=0 windows_key_code=65 is_system_key=0"));
    key.keyCode = 66;
    key.keyDown = key.keyUp = false;
    key.systemKey = true;
    ASSERT_TRUE(addin.Send(key));
    EXPECT_TRUE(engine.WaitForJournal("call SendKeyEvent type=3 windows_key_code=66 is_system_key=1"));

    NsChannel::Command script = MakeCommand(NsChannel::CMD_EXECUTE_SCRIPT);
    script.text = u"document.title";
    ASSERT_TRUE(addin.Send(script));
    EXPECT_TRUE(engine.WaitForJournal(
        "call ExecuteJavaScript code=document.title script_url=http://pagehull.test/first start_line=0"));

    // The window takes the new client size and CEF the new view size.
    NsChannel::Command resize = MakeCommand(NsChannel::CMD_RESIZE);
    resize.width = 800;
    resize.height = 600;
    ASSERT_TRUE(addin.Send(resize));
    EXPECT_TRUE(engine.WaitForJournal("call WasResized"));
    EXPECT_TRUE(engine.WaitForJournal("return GetViewRect x=0 y=0 width=800 height=600"));
    RECT client = {};
    ::GetClientRect(FindHostWindow(host.Id()), &client);
    EXPECT_EQ(client.right - client.left, 800);
    EXPECT_EQ(client.bottom - client.top, 600);

    ASSERT_TRUE(addin.Send(CMD_CLOSE));
    EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
}

TEST(DrivenHost, ClosesItsBrowserWhenTheAddinEnds)
{
    CChildProcess standin = StartAddinStandin();
    ASSERT_TRUE(standin.IsStarted());
    // The host watches the add-in's process whether or not it found the add-in's pipe.
    CChildProcess host(HostPath(), HostArguments(static_cast<int32_t>(standin.Id()), NextIndex(), kFirstPage));
    CEngineControl engine(host);
    ASSERT_TRUE(engine.WaitForJournal("hook OnAfterCreated").has_value());

    standin.Kill();
    EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
}

TEST(DrivenHost, EndsByItselfWhenTheAddinIsAlreadyGone)
{
    CChildProcess standin = StartAddinStandin();
    ASSERT_TRUE(standin.IsStarted());
    standin.Kill();

    CChildProcess host(HostPath(), HostArguments(static_cast<int32_t>(standin.Id()), NextIndex(), kFirstPage));
    // 1 when the close overtook the browser's creation, 2 when it did not.
    const std::optional<DWORD> exitCode = host.WaitForExit();
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_TRUE(*exitCode == kExitNoBrowser || *exitCode == kExitBrowserClosed) << *exitCode;
}

TEST(StandaloneHost, WithoutSwitchesShowsAnEmptyPageAndClosesWithItsWindow)
{
    CChildProcess host(HostPath(), L"");
    CEngineControl engine(host);
    ASSERT_TRUE(engine.IsConnected());

    const std::optional<std::string> creation = engine.WaitForJournal("call CreateBrowser");
    ASSERT_TRUE(creation.has_value());
    EXPECT_EQ(Field(*creation, "url"), "-"); // the journal's empty text
    ASSERT_TRUE(engine.WaitForJournal("hook OnAfterCreated").has_value());

    const HWND window = FindHostWindow(host.Id());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));
    // No address and no title ever came, so the caption is still the one from creation.
    EXPECT_EQ(WindowCaption(window), L"Mevora Web host");

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
}

TEST(StandaloneHost, WithoutAChannelKeyOpensTheAddressInItsShownWindow)
{
    CChildProcess host(HostPath(), HostArguments(1234, -1, kFirstPage));
    CEngineControl engine(host);
    ASSERT_TRUE(engine.IsConnected());
    // The load ends after the address and the title have reached the caption.
    ASSERT_TRUE(engine.WaitForJournal("hook OnLoadEnd").has_value());

    const HWND window = FindHostWindow(host.Id());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));
    EXPECT_EQ(WindowCaption(window), kFirstPageCaption);

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
}

TEST(CrashBroadcast, ARendererCrashIsBroadcastUnderTheAddinsIdWithTheRenderersId)
{
    CCrashListener listener(static_cast<DWORD>(SelfPid()));
    const int32_t index = NextIndex();
    CAddinEnd addin(SelfPid(), index);
    CChildProcess host(HostPath(), HostArguments(SelfPid(), index, kFirstPage));
    ASSERT_TRUE(addin.WaitForEvent(L"browserCreated:"));
    CEngineControl engine(host);
    // The renderer has run the host's own entry, with the switches passed on to it.
    ASSERT_TRUE(engine.WaitForJournal("renderer hook OnBeforeCommandLineProcessing").has_value());

    const std::optional<std::string> crash = engine.Request("crash renderer");
    ASSERT_TRUE(crash.has_value());
    const std::string rendererPid = Field(*crash, "pid");
    ASSERT_FALSE(rendererPid.empty()) << *crash;
    EXPECT_EQ(listener.WaitForBroadcast(), std::stoul(rendererPid));

    // The browser process lives on and still closes normally.
    ASSERT_TRUE(addin.Send(CMD_CLOSE));
    EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
}

TEST(CrashBroadcast, ABrowserProcessCrashIsBroadcastAndEndsItWithTheExceptionCode)
{
    CCrashListener listener(static_cast<DWORD>(SelfPid()));
    const int32_t index = NextIndex();
    CAddinEnd addin(SelfPid(), index);
    CChildProcess host(HostPath(), HostArguments(SelfPid(), index, kFirstPage));
    ASSERT_TRUE(addin.WaitForEvent(L"browserCreated:"));
    CEngineControl engine(host);
    ASSERT_TRUE(engine.IsConnected());

    // The process may be gone before the answer is written, so the answer is not awaited.
    engine.Request("crash browser");
    EXPECT_EQ(listener.WaitForBroadcast(), host.Id());
    EXPECT_EQ(host.WaitForExit(), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

TEST(HotKey, TheSettingTakesTheFirstFreeKeyNamesItInTheCaptionAndTogglesTheWindow)
{
    const CHeldHotKey takenByAnotherProgram(VK_F5);
    ASSERT_TRUE(takenByAnotherProgram.IsHeld());
    const CHotKeySetting setting(1);

    const int32_t index = NextIndex();
    CAddinEnd addin(SelfPid(), index);
    CChildProcess host(HostPath(), HostArguments(SelfPid(), index, kFirstPage));
    CEngineControl engine(host);
    ASSERT_TRUE(engine.WaitForJournal("hook OnLoadEnd").has_value());

    const HWND window = FindHostWindow(host.Id());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowCaption(window), L"Ctrl+Alt+F6 :: " + kFirstPageCaption);
    EXPECT_FALSE(CHeldHotKey(VK_F6).IsHeld()) << "the host should hold Ctrl+Alt+F6";

    ASSERT_FALSE(::IsWindowVisible(window));
    PressCtrlAlt(VK_F6);
    EXPECT_TRUE(WaitForVisibility(window, true));
    PressCtrlAlt(VK_F6);
    EXPECT_TRUE(WaitForVisibility(window, false));

    ASSERT_TRUE(addin.Send(CMD_CLOSE));
    EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
}

TEST(Program, CarriesBothIconsAndAsksForTheInvokersExecutionLevel)
{
    const HMODULE program = ::LoadLibraryExW(HostPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    for (const auto& [id, size] : {std::pair<WORD, int>{107, 32}, {108, 16}}) {
        const auto icon = static_cast<HICON>(::LoadImageW(program, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
        EXPECT_NE(icon, nullptr) << "icon " << id;
        ::DestroyIcon(icon);
    }

    const HRSRC manifest = ::FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr);
    const auto* text = static_cast<const char*>(::LockResource(::LoadResource(program, manifest)));
    const std::string content(text, ::SizeofResource(program, manifest));
    EXPECT_NE(content.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    ::FreeLibrary(program);
}
