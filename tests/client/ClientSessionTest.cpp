// PagehullClient.dll as an add-in uses it: a real Pagehull.exe on the scripted engine, steered
// through the engine's control pipe; what the host reports comes back typed through the wait.

#include "DrivenHost.h"
#include "pagehull_client.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace NsHostTest;

namespace {

const std::wstring kPage = L"http://pagehull.test/client";
const std::wstring kOtherPage = L"http://pagehull.test/other";
constexpr uint32_t kHeaderColour = 0x28468C; // the scripted page's header band
constexpr uint32_t kClickColour = 0xDC1E1E; // its mark of a left click

class CClientHost {
public:
    explicit CClientHost(const std::wstring& address = kPage)
    {
        const ph_status started = session.Start(HostPath(), address, {kScriptedEngineSwitch}, NsHostTest::kTimeoutMs);
        EXPECT_EQ(started, PH_OK) << ph_status_text(started);
        process = std::make_unique<CChildProcess>(session.HostProcessId());
        engine = std::make_unique<CEngineControl>(*process);
    }

    // The next event of this kind; those before it are passed over.
    pagehull::Event Next(ph_event_kind kind)
    {
        const NsWin32::CDeadline deadline(NsHostTest::kTimeoutMs);
        pagehull::Event event;
        while (session.Wait(event, deadline.Remaining()) == PH_OK) {
            if (event.kind == kind)
                return event;
            if (event.kind == PH_EVENT_HOST_ENDED)
                break;
        }
        ADD_FAILURE() << "no event of kind " << kind;
        return {};
    }

    // The next frame of this size, copied.
    pagehull::Frame NextFrame(int32_t width, int32_t height)
    {
        pagehull::Frame frame;
        for (;;) {
            const pagehull::Event event = Next(PH_EVENT_FRAME);
            if (event.kind != PH_EVENT_FRAME || (event.width == width && event.height == height))
                break;
        }
        EXPECT_EQ(session.CopyFrame(frame), PH_OK);
        return frame;
    }

    pagehull::Session session;
    std::unique_ptr<CChildProcess> process;
    std::unique_ptr<CEngineControl> engine;
};

} // namespace

TEST(ClientSession, ReportsTheLoadFramesAndTheHostsEnd)
{
    CClientHost host;
    EXPECT_EQ(host.Next(PH_EVENT_BROWSER_CREATED).raw, L"browserCreated:");
    EXPECT_EQ(host.Next(PH_EVENT_ADDRESS).text, kPage);
    EXPECT_EQ(host.Next(PH_EVENT_LOAD_END).value, 200);

    ASSERT_EQ(host.session.Resize(320, 200), PH_OK);
    const pagehull::Frame frame = host.NextFrame(320, 200);
    ASSERT_EQ(frame.pixels.size(), 320u * 200u * 4u);
    EXPECT_EQ(frame.At(300, 10), kHeaderColour); // right of the address written in it

    // A buffer too small is told the size it needs and gets nothing.
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bytes = 0;
    uint8_t tiny[4] = {};
    EXPECT_EQ(ph_copy_frame(host.session.Handle(), tiny, sizeof tiny, &width, &height, &bytes), PH_BUFFER_TOO_SMALL);
    EXPECT_EQ(bytes, 320u * 200u * 4u);

    ASSERT_EQ(host.session.CloseHost(), PH_OK);
    EXPECT_EQ(host.Next(PH_EVENT_HOST_ENDED).value, static_cast<int32_t>(kExitBrowserClosed));
    // The end is reported to every later wait; commands learn it too.
    pagehull::Event again;
    EXPECT_EQ(host.session.Wait(again, 0), PH_OK);
    EXPECT_EQ(again.kind, PH_EVENT_HOST_ENDED);
    EXPECT_EQ(host.session.Focus(true), PH_HOST_ENDED);
}

TEST(ClientSession, CommandsAndInputMessagesReachThePageAndQueriesAnswer)
{
    CClientHost host;
    host.Next(PH_EVENT_LOAD_END);
    ASSERT_EQ(host.session.Resize(400, 300), PH_OK);
    host.NextFrame(400, 300);

    EXPECT_EQ(host.session.MouseWheel(10, 20, 0, -120, PH_FLAG_SHIFT_DOWN), PH_OK);
    EXPECT_TRUE(host.engine->WaitForJournal("call SendMouseWheelEvent x=10 y=20 modifiers=2 delta_x=0 delta_y=-120"));

    // The window's own messages, as a window procedure would forward them.
    const HWND window =
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(host.session.ForwardInput(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 150)));
    ASSERT_TRUE(host.session.ForwardInput(window, WM_LBUTTONUP, 0, MAKELPARAM(100, 150)));
    EXPECT_TRUE(host.engine->WaitForJournal("call SendMouseClickEvent x=100 y=150 button=0 mouse_up=0"));
    EXPECT_TRUE(host.engine->WaitForJournal("call SendMouseClickEvent x=100 y=150 button=0 mouse_up=1"));
    ASSERT_TRUE(host.session.ForwardInput(window, WM_SYSCHAR, L'b', 0));
    EXPECT_TRUE(host.engine->WaitForJournal("call SendKeyEvent type=3 windows_key_code=98 is_system_key=1"));
    ASSERT_TRUE(host.session.ForwardInput(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(5000, 240)));
    const pagehull::Frame frame = host.NextFrame(1920, 240);
    EXPECT_EQ(frame.At(100 + 5, 150), kClickColour);
    EXPECT_FALSE(host.session.ForwardInput(window, WM_PAINT, 0, 0));
    ::DestroyWindow(window);

    ASSERT_EQ(host.session.LoadUrl(kOtherPage), PH_OK);
    EXPECT_EQ(host.Next(PH_EVENT_ADDRESS).text, kOtherPage);
    host.Next(PH_EVENT_LOAD_END);
    std::wstring url;
    EXPECT_EQ(host.session.GetUrl(url), PH_OK);
    EXPECT_EQ(url, kOtherPage);
    bool canGoBack = false;
    bool canGoForward = true;
    EXPECT_EQ(host.session.CanGoBack(canGoBack), PH_OK);
    EXPECT_EQ(host.session.CanGoForward(canGoForward), PH_OK);
    EXPECT_TRUE(canGoBack);
    EXPECT_FALSE(canGoForward);
}

TEST(ClientSession, DialogsComeWithTheirPartsAndTheirAnswersReachThePage)
{
    CClientHost host;
    host.Next(PH_EVENT_LOAD_END);

    ASSERT_TRUE(host.engine->Request("dialog prompt About%20~5%20items? 3"));
    const pagehull::Event prompt = host.Next(PH_EVENT_PROMPT);
    EXPECT_EQ(prompt.text, L"About ~5 items?");
    EXPECT_EQ(prompt.defaultText, L"3");
    ASSERT_EQ(host.session.AnswerScriptDialog(true, L"Bea"), PH_OK);
    const std::optional<std::string> answer = host.engine->WaitForJournal("call JSDialogCallback.Continue success=1");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(JournalText(*answer, "user_input"), "Bea");

    ASSERT_TRUE(host.engine->Request("file-dialog 16777219 Save%20minutes C:\\minutes.txt .txt .md"));
    const pagehull::Event file = host.Next(PH_EVENT_FILE_DIALOG);
    EXPECT_EQ(file.value, 16777219);
    EXPECT_EQ(file.text, L"Save minutes");
    EXPECT_EQ(file.defaultText, L"C:\\minutes.txt");
    EXPECT_EQ(file.filters, (std::vector<std::wstring>{L".txt", L".md"}));
    ASSERT_EQ(host.session.AnswerFileDialog(true, {L"C:\\a.txt", L"C:\\b c.md"}), PH_OK);
    const std::optional<std::string> chosen = host.engine->WaitForJournal("call FileDialogCallback.Continue");
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(JournalText(*chosen, "file_paths"), "C:\\a.txt,C:\\b c.md");

    ASSERT_TRUE(host.engine->Request("popup http://pagehull.test/new _blank"));
    EXPECT_EQ(host.Next(PH_EVENT_POPUP).text, L"http://pagehull.test/new");
    ASSERT_TRUE(host.engine->Request("call addinTrace s:step%201"));
    EXPECT_EQ(host.Next(PH_EVENT_TRACE).text, L"step 1");
    ASSERT_TRUE(host.engine->Request("call dispatchEvent s:windowClose"));
    host.Next(PH_EVENT_WINDOW_CLOSE);
}

TEST(ClientMisuse, GivesAStatusNotACrash)
{
    pagehull::Event event;
    EXPECT_EQ(ph_close(nullptr, 0), PH_BAD_SESSION);
    EXPECT_EQ(ph_focus(nullptr, 1, 0), PH_BAD_SESSION);
    ph_event raw{};
    raw.size = sizeof raw;
    EXPECT_EQ(ph_wait(nullptr, &raw, 0), PH_BAD_SESSION);
    raw.size = 4;
    EXPECT_EQ(ph_wait(nullptr, &raw, 0), PH_BAD_ARGUMENT);

    ph_session* first = nullptr;
    ASSERT_EQ(ph_open(PH_ANY_INDEX, &first), PH_OK);
    int32_t index = -1;
    ASSERT_EQ(ph_get_index(first, &index), PH_OK);
    ph_session* second = nullptr;
    EXPECT_EQ(ph_open(index, &second), PH_INDEX_TAKEN);
    EXPECT_EQ(second, nullptr);
    // No host has come yet: commands and the wait say so rather than block.
    EXPECT_EQ(ph_focus(first, 1, 0), PH_NO_HOST);
    raw.size = sizeof raw;
    EXPECT_EQ(ph_wait(first, &raw, 0), PH_TIMEOUT);
    EXPECT_EQ(ph_attach(first, 0, 0), PH_NO_HOST);
    EXPECT_EQ(ph_close(first, 0), PH_OK);
    EXPECT_EQ(ph_focus(first, 1, 0), PH_BAD_SESSION);
    EXPECT_EQ(ph_close(first, 0), PH_BAD_SESSION);

    pagehull::Session missing;
    EXPECT_EQ(missing.Start(BinaryPath(L"NoSuchHost.exe"), kPage), PH_HOST_NOT_STARTED);
    EXPECT_EQ(missing.Wait(event, 0), PH_BAD_SESSION);
    EXPECT_STRNE(ph_status_text(static_cast<ph_status>(99)), "");
}
