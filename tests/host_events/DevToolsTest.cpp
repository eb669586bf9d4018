// F12 in the host's visible window opens CEF's developer tools in a window of their own,
// owned by the host's window; they close with the browser, and closing them alone leaves the
// host running.

#include "DrivenHost.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

using namespace NsHostTest;

namespace {

const wchar_t kPage[] = L"http://pagehull.test/inspect";

// LParams of a plain F12 press and release.
constexpr LPARAM kF12Down = 0x00580001;
constexpr LPARAM kF12Up = static_cast<LPARAM>(0xC0580001);

// A window handle as the journal writes it.
std::string HandleText(HWND window)
{
    char text[32];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)));
    return text;
}

// A host without the add-in, whose window is visible from the start and has loaded kPage.
struct CVisibleHost {
    CVisibleHost() : process(HostPath(), HostArguments(1234, -1, kPage)), engine(process)
    {
        EXPECT_TRUE(engine.WaitForJournal("hook OnLoadEnd"));
        window = FindHostWindow(process.Id());
        EXPECT_TRUE(window && ::IsWindowVisible(window));
    }

    // Presses (down) or releases F12 in the window, and returns the tools' opening request.
    std::optional<std::string> PressF12(bool down)
    {
        ::PostMessageW(window, down ? WM_KEYDOWN : WM_KEYUP, VK_F12, down ? kF12Down : kF12Up);
        return engine.WaitForJournal("call ShowDevTools");
    }

    CChildProcess process;
    CEngineControl engine;
    HWND window = nullptr;
};

} // namespace

TEST(DevTools, F12DownAndUpEachAskForTheToolsInAWindowTitledDevToolsOwnedByTheHost)
{
    CVisibleHost host;
    const std::optional<std::string> shown = host.PressF12(true);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(JournalText(*shown, "window_name"), "Dev Tools");
    EXPECT_EQ(Field(*shown, "style"), "0x16CF0000"); // overlapped, clipping, visible
    EXPECT_EQ(Field(*shown, "x"), std::to_string(CW_USEDEFAULT));
    EXPECT_EQ(Field(*shown, "width"), std::to_string(CW_USEDEFAULT));
    EXPECT_EQ(Field(*shown, "parent_window"), HandleText(host.window));
    EXPECT_EQ(Field(*shown, "windowless_rendering_enabled"), "0");
    EXPECT_EQ(Field(*shown, "inspect_x"), "0");
    EXPECT_EQ(Field(*shown, "inspect_y"), "0");

    const std::optional<std::string> opened = host.engine.WaitForJournal("event DevToolsOpened");
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(JournalText(*opened, "title"), "Dev Tools");
    EXPECT_EQ(Field(*opened, "owner"), HandleText(host.window));
    EXPECT_EQ(Field(*opened, "visible"), "1");

    // The release asks again, with a client of its own; CEF keeps the one window.
    const std::optional<std::string> again = host.PressF12(false);
    ASSERT_TRUE(again.has_value());
    EXPECT_NE(Field(*again, "client"), Field(*shown, "client"));
    EXPECT_TRUE(host.engine.WaitForJournal("event DevToolsFocused"));

    // The host ends right after its browser, so the close is awaited on a second connection
    // that asks before the browser closes.
    const std::optional<std::string> mark = host.engine.Request("mark");
    ASSERT_TRUE(mark.has_value());
    CEngineControl watcher(host.process);
    std::optional<std::string> closed;
    std::thread waiting(
        [&] { closed = watcher.Request("wait 30000 " + Field(*mark, "seq") + " event DevToolsClosed"); });
    ASSERT_TRUE(host.engine.Request("ping"));
    ::PostMessageW(host.window, WM_CLOSE, 0, 0);
    waiting.join();
    ASSERT_TRUE(closed.has_value());
    const std::string line = JournalText(*closed, "line");
    EXPECT_EQ(Field(line, "reason"), "browser-closed") << line;
    EXPECT_EQ(Field(line, "was_open"), "1") << line;
    EXPECT_EQ(host.process.WaitForExit(), kExitBrowserClosed);
}

TEST(DevTools, ClosingTheToolsAloneLeavesTheHostRunningAndF12OpensThemAgain)
{
    CVisibleHost host;
    ASSERT_TRUE(host.PressF12(true));
    const std::optional<std::string> opened = host.engine.WaitForJournal("event DevToolsOpened");
    ASSERT_TRUE(opened.has_value());
    const HWND tools = ::FindWindowW(nullptr, L"Dev Tools");
    ASSERT_NE(tools, nullptr);
    EXPECT_EQ(Field(*opened, "hwnd"), HandleText(tools));

    ::PostMessageW(tools, WM_CLOSE, 0, 0);
    const std::optional<std::string> closed = host.engine.WaitForJournal("event DevToolsClosed");
    ASSERT_TRUE(closed.has_value());
    EXPECT_EQ(Field(*closed, "reason"), "user");
    const std::optional<std::string> status = host.engine.Request("status");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(Field(*status, "browsers"), "1");

    ASSERT_TRUE(host.PressF12(true));
    EXPECT_TRUE(host.engine.WaitForJournal("event DevToolsOpened"));
    ::PostMessageW(host.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(host.process.WaitForExit(), kExitBrowserClosed);
}
