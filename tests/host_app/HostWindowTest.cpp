// The host's visible window as a person uses it: mouse, wheel, key and focus messages reach
// the page as CEF input events, and closing the window ends the host.

#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>

using namespace NsHostTest;

namespace {

const std::wstring kPage = L"http://pagehull.test/window";

LPARAM ClientPoint(int x, int y)
{
    return static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y))));
}

// Whether the journal line has every one of the tokens.
bool Holds(const std::string& line, std::initializer_list<const char*> tokens)
{
    const std::string spaced = " " + line + " ";
    return std::all_of(tokens.begin(), tokens.end(), [&](const char* token) {
        return spaced.find(" " + std::string(token) + " ") != std::string::npos;
    });
}

// A host without the add-in, its window shown and its page painted at 1024 x 768.
class VisibleWindowTest : public ::testing::Test {
protected:
    VisibleWindowTest() : m_process(HostPath(), HostArguments(1234, -1, kPage)), m_engine(m_process) {}

    void SetUp() override
    {
        ASSERT_TRUE(m_engine.WaitForJournal("hook OnPaint type=0 width=1024 height=768"));
        m_window = FindHostWindow(m_process.Id());
        ASSERT_NE(m_window, nullptr);
        ASSERT_TRUE(::IsWindowVisible(m_window));
    }

    void TearDown() override
    {
        ::PostMessageW(m_window, WM_CLOSE, 0, 0);
        EXPECT_EQ(m_process.WaitForExit(), kExitBrowserClosed);
    }

    void Post(UINT message, WPARAM wParam, LPARAM lParam) { ::PostMessageW(m_window, message, wParam, lParam); }

    std::optional<std::string> Expect(const std::string& terms) { return m_engine.WaitForJournal(terms); }

    HWND Capture() const
    {
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(m_window, nullptr), &info);
        return info.hwndCapture;
    }

    CChildProcess m_process;
    CEngineControl m_engine;
    HWND m_window = nullptr;
};

} // namespace

TEST_F(VisibleWindowTest, MovesOnTheViewAndButtonsReachThePageWithTheMouseCapturedInBetween)
{
    const std::string mark = m_engine.Mark();
    Post(WM_MOUSEMOVE, 0, ClientPoint(1024, 5));
    Post(WM_MOUSEMOVE, 0, ClientPoint(1023, 767));
    EXPECT_TRUE(Expect("call SendMouseMoveEvent x=1023 y=767 mouse_leave=0"));

    Post(WM_LBUTTONDOWN, MK_LBUTTON, ClientPoint(30, 40));
    EXPECT_TRUE(Expect("call SendMouseClickEvent x=30 y=40 button=0 mouse_up=0 click_count=1"));
    EXPECT_EQ(Capture(), m_window);
    // Dragged out to the left while captured: the release still reaches the page, left of it.
    Post(WM_LBUTTONUP, 0, ClientPoint(-5, 10));
    EXPECT_TRUE(Expect("call SendMouseClickEvent x=-5 y=10 button=0 mouse_up=1 click_count=1"));
    EXPECT_EQ(Capture(), nullptr);

    Post(WM_RBUTTONDOWN, MK_RBUTTON, ClientPoint(1024, 40));
    Post(WM_RBUTTONUP, 0, ClientPoint(1024, 40));
    EXPECT_TRUE(Expect("call SendMouseClickEvent x=1024 y=40 button=2 mouse_up=1 click_count=1"));

    // The real pointer may move the mouse over the window too, so only our points count.
    for (const std::string& line : m_engine.JournalSince(mark)) {
        EXPECT_FALSE(Holds(line, {"SendMouseMoveEvent", "x=1024"})) << "one past the view: " << line;
        EXPECT_FALSE(Holds(line, {"SendMouseClickEvent", "x=1024", "mouse_up=0"}))
            << "a press one past the view: " << line;
    }
}

TEST_F(VisibleWindowTest, TheWheelArrivesAtItsPlaceInTheView)
{
    POINT screen = {30, 40};
    ::ClientToScreen(m_window, &screen);
    Post(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), ClientPoint(screen.x, screen.y));
    EXPECT_TRUE(Expect("call SendMouseWheelEvent x=30 y=40 delta_x=0 delta_y=-120"));
}

TEST_F(VisibleWindowTest, KeyMessagesBecomeKeyEventsAndOnlyTheF12KeyOpensTheTools)
{
    constexpr LPARAM kKeyFlags = 0x001E0001;
    Post(WM_KEYDOWN, 'A', kKeyFlags);
    EXPECT_TRUE(Expect("call SendKeyEvent type=0 windows_key_code=65 native_key_code=1966081 is_system_key=0 "
                       "character=0 unmodified_character=0 focus_on_editable_field=0"));
    Post(WM_CHAR, 'a', kKeyFlags);
    EXPECT_TRUE(Expect("call SendKeyEvent type=3 windows_key_code=97 is_system_key=0"));
    Post(WM_KEYUP, 'A', kKeyFlags);
    EXPECT_TRUE(Expect("call SendKeyEvent type=2 windows_key_code=65 is_system_key=0"));
    Post(WM_SYSKEYDOWN, 'X', kKeyFlags);
    EXPECT_TRUE(Expect("call SendKeyEvent type=0 windows_key_code=88 is_system_key=1"));
    Post(WM_SYSCHAR, 'x', kKeyFlags);
    EXPECT_TRUE(Expect("call SendKeyEvent type=3 windows_key_code=120 is_system_key=1"));
    Post(WM_SYSKEYUP, 'X', kKeyFlags);
    EXPECT_TRUE(Expect("call SendKeyEvent type=2 windows_key_code=88 is_system_key=1"));

    // The character '{' has the code of F12's key; it is typed, it opens nothing.
    const std::string mark = m_engine.Mark();
    Post(WM_CHAR, '{', kKeyFlags);
    Post(WM_IME_CHAR, '{', 0);
    EXPECT_TRUE(Expect("call SendKeyEvent type=3 windows_key_code=123"));
    EXPECT_TRUE(Expect("call SendKeyEvent type=3 windows_key_code=123 native_key_code=0"));
    for (const std::string& line : m_engine.JournalSince(mark))
        EXPECT_NE(line.rfind("call ShowDevTools", 0), 0u) << line;

    Post(WM_KEYDOWN, VK_F12, kKeyFlags);
    EXPECT_TRUE(Expect("call SendKeyEvent type=0 windows_key_code=123"));
    EXPECT_TRUE(Expect("call ShowDevTools"));
}

TEST_F(VisibleWindowTest, FocusMessagesReachThePage)
{
    Post(WM_KILLFOCUS, 0, 0);
    EXPECT_TRUE(Expect("call SendFocusEvent set_focus=0"));
    Post(WM_SETFOCUS, 0, 0);
    EXPECT_TRUE(Expect("call SendFocusEvent set_focus=1"));
}

// Keys typed for real: the modifiers are the host's own view of the keyboard.
TEST_F(VisibleWindowTest, TypedKeysCarryTheModifiersHeldInTheHost)
{
    // Wine makes another process's window the foreground one once that process has taken the
    // focus: its page hears of it then.
    ::SetForegroundWindow(m_window);
    if (::GetForegroundWindow() != m_window) {
        EXPECT_TRUE(Expect("call SendFocusEvent set_focus=1"));
    }
    ASSERT_EQ(::GetForegroundWindow(), m_window) << "the keys would go to another window";
    INPUT inputs[4] = {};
    const WORD keys[4] = {VK_LSHIFT, 'B', 'B', VK_LSHIFT};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    ASSERT_EQ(::SendInput(4, inputs, sizeof(INPUT)), 4u);
    const std::optional<std::string> down = Expect("call SendKeyEvent type=0 windows_key_code=66");
    ASSERT_TRUE(down.has_value());
    EXPECT_NE(std::stoul(Field(*down, "modifiers")) & 2u, 0u) << *down; // shift down
}
