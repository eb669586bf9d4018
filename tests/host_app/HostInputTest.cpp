// Input reaching the page, watched through the scripted engine's journal: the add-in's mouse,
// key, resize and dialog-answer commands, and the messages of the host's visible window.

#include "DrivenHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

using namespace NsHostTest;
using NsChannel::Command;

namespace {

const std::wstring kPage = L"http://pagehull.test/input";
size_t CountLines(const std::vector<std::string>& lines, const std::string& call)
{
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.compare(0, call.size() + 1, call + " ") == 0;
    }));
}

Command Click(int32_t x, int32_t y, bool left, bool down, int32_t modifiers = 0)
{
    Command click = MakeCommand(NsChannel::CMD_MOUSE_CLICK);
    click.x = x;
    click.y = y;
    click.leftButton = left;
    click.buttonDown = down;
    click.modifiers = modifiers;
    return click;
}

Command Move(int32_t x, int32_t y)
{
    Command move = MakeCommand(NsChannel::CMD_MOUSE_MOVE);
    move.x = x;
    move.y = y;
    return move;
}

// A host driven by this test as its add-in, with its page loaded.
class CInputHost : public CDrivenHost {
public:
    CInputHost() : CDrivenHost(kPage)
    {
        EXPECT_TRUE(Addin().WaitForEvent(L"address:" + kPage));
        EXPECT_TRUE(Engine().IsConnected());
    }
};

} // namespace

TEST(AddinInput, MovesAndClicksMustLandOnTheLastPaintedViewTheWheelNeedNot)
{
    CInputHost host;
    ASSERT_TRUE(host.ResizeView(800, 600));
    const std::string mark = host.Engine().Mark();

    ASSERT_TRUE(host.Send(Click(799, 599, true, true, 4)));
    EXPECT_TRUE(host.Expect("call SendMouseClickEvent x=799 y=599 modifiers=4 button=0 mouse_up=0 click_count=1"));
    for (const Command& outside : {Click(800, 10, true, true), Click(-1, 10, true, true), Click(10, 600, false, false),
                                   Click(10, -1, false, false), Move(800, 5), Move(5, -1)})
        ASSERT_TRUE(host.Send(outside));
    ASSERT_TRUE(host.Send(Move(799, 0)));
    EXPECT_TRUE(host.Expect("call SendMouseMoveEvent x=799 y=0 modifiers=0 mouse_leave=0"));
    ASSERT_TRUE(host.Send(Click(0, 0, false, false)));
    EXPECT_TRUE(host.Expect("call SendMouseClickEvent x=0 y=0 button=2 mouse_up=1 click_count=1"));

    Command wheel = MakeCommand(NsChannel::CMD_MOUSE_WHEEL);
    wheel.x = 5000;
    wheel.y = -5000;
    wheel.deltaX = 3;
    wheel.deltaY = 120;
    ASSERT_TRUE(host.Send(wheel));
    EXPECT_TRUE(host.Expect("call SendMouseWheelEvent x=5000 y=-5000 delta_x=3 delta_y=120"));

    // Commands run in order, so everything dropped was dropped before the wheel was sent.
    const std::vector<std::string> journal = host.Engine().JournalSince(mark);
    EXPECT_EQ(CountLines(journal, "call SendMouseClickEvent"), 2u);
    EXPECT_EQ(CountLines(journal, "call SendMouseMoveEvent"), 1u);
    EXPECT_TRUE(host.Close());
}

TEST(AddinInput, KeysGoOutWithTheHostsOwnModifiersAndNavigationReachesTheMainFrame)
{
    CInputHost host;
    Command key = MakeCommand(NsChannel::CMD_KEY);
    key.keyCode = 0x41;
    key.keyUp = true;
    ASSERT_TRUE(host.Send(key));
    // Nothing is held in the host, whatever the command might have carried.
    EXPECT_TRUE(host.Expect("call SendKeyEvent type=2 modifiers=0 windows_key_code=65 native_key_code=0 "
                            "is_system_key=0 character=0 unmodified_character=0"));

    ASSERT_TRUE(host.Send(LoadUrlCommand(L"http://pagehull.test/second")));
    ASSERT_TRUE(host.Addin().WaitForEvent(L"address:http://pagehull.test/second"));
    ASSERT_TRUE(host.Send(MakeCommand(NsChannel::CMD_GO_BACK)));
    ASSERT_TRUE(host.Addin().WaitForEvent(L"address:" + kPage));
    ASSERT_TRUE(host.Send(MakeCommand(NsChannel::CMD_GO_FORWARD)));
    ASSERT_TRUE(host.Addin().WaitForEvent(L"address:http://pagehull.test/second"));
    EXPECT_EQ(host.Addin().QueryFlag(NsChannel::CMD_CAN_GO_FORWARD), false);

    Command script = MakeCommand(NsChannel::CMD_EXECUTE_SCRIPT);
    script.text = u"go()";
    ASSERT_TRUE(host.Send(script));
    EXPECT_TRUE(host.Expect("call ExecuteJavaScript code=go() script_url=http://pagehull.test/second start_line=0"));
    EXPECT_TRUE(host.Close());
}

TEST(AddinResize, TheWindowKeepsItsCornerAndFrameAndTheAddinGetsTheNewFrame)
{
    CInputHost host;
    ASSERT_TRUE(host.Addin().WaitForFrame(1024, 768)) << "the first view is 1024 x 768";
    const HWND window = FindHostWindow(host.Process().Id());
    ASSERT_NE(window, nullptr);
    RECT outerBefore = {};
    RECT clientBefore = {};
    ::GetWindowRect(window, &outerBefore);
    ::GetClientRect(window, &clientBefore);

    ASSERT_TRUE(host.ResizeView(640, 480));
    EXPECT_TRUE(host.Expect("return GetViewRect x=0 y=0 width=640 height=480"));
    RECT outer = {};
    RECT client = {};
    ::GetWindowRect(window, &outer);
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_EQ(outer.left, outerBefore.left);
    EXPECT_EQ(outer.top, outerBefore.top);
    EXPECT_EQ((outer.right - outer.left) - client.right, (outerBefore.right - outerBefore.left) - clientBefore.right);
    EXPECT_EQ((outer.bottom - outer.top) - client.bottom, (outerBefore.bottom - outerBefore.top) - clientBefore.bottom);
    const std::optional<CFrame> frame = host.Addin().CurrentFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->width, 640);
    EXPECT_EQ(frame->pixels.size(), 640u * 480 * 4);
    EXPECT_TRUE(host.Close());
}

// The UI thread waits inside the dialog for the add-in's answer; a resize sent before the
// answer must not keep the answer from being read.
TEST(DialogAnswers, AResizeBeforeTheAnswerDoesNotHoldItUpAndFollowsIt)
{
    CInputHost host;
    ASSERT_TRUE(host.Engine().Request("dialog confirm Resize?"));
    ASSERT_TRUE(host.Addin().WaitForEvent(L"confirm:Resize?"));
    ASSERT_TRUE(host.Send(ResizeCommand(500, 400)));
    Command answer = MakeCommand(NsChannel::CMD_JS_DIALOG_REPLY);
    answer.answer = true;
    ASSERT_TRUE(host.Send(answer));
    EXPECT_TRUE(host.Expect("call JSDialogCallback.Continue success=1"));
    EXPECT_TRUE(host.Addin().WaitForFrame(500, 400));
    EXPECT_TRUE(host.Close());
}

TEST(DialogAnswers, AnAcceptedFileDialogWithNoPathsContinuesWithAnEmptyList)
{
    CInputHost host;
    ASSERT_TRUE(host.Engine().Request("file-dialog 0 - - .txt"));
    ASSERT_TRUE(host.Addin().WaitForEvent(L"fileDialog:dialogMode:0|fileType:.txt|"));
    Command answer = MakeCommand(NsChannel::CMD_FILE_DIALOG_REPLY);
    answer.answer = true;
    ASSERT_TRUE(host.Send(answer));
    EXPECT_TRUE(host.Expect("call FileDialogCallback.Continue selected_accept_filter=0 count=0"));
    EXPECT_TRUE(host.Close());
}
