// The browser window's event handlers called directly in this process, where no browser
// exists: what reaches the add-in from messages the renderer could send, and dialogs that
// nobody can answer any more.

#include "DrivenHost.h"
#include "OffscreenBrowserWindow.h"
#include "UiThread.h"

#include "include/cef_process_message.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace NsHostTest;
using ::testing::_;

namespace {

class MockJsDialogCallback : public CefJSDialogCallback {
public:
    MOCK_METHOD(void, Continue, (bool success, const CefString& userInput), (override));

private:
    IMPLEMENT_REFCOUNTING(MockJsDialogCallback)
};

class MockFileDialogCallback : public CefFileDialogCallback {
public:
    MOCK_METHOD(void, Continue, (int selectedAcceptFilter, const std::vector<CefString>& filePaths), (override));
    MOCK_METHOD(void, Cancel, (), (override));

private:
    IMPLEMENT_REFCOUNTING(MockFileDialogCallback)
};

CefRefPtr<CefProcessMessage> Message(const wchar_t* name)
{
    return CefProcessMessage::Create(name);
}

CefRefPtr<CefProcessMessage> Message(const wchar_t* name, const wchar_t* argument)
{
    CefRefPtr<CefProcessMessage> message = Message(name);
    message->GetArgumentList()->SetString(0, argument);
    return message;
}

// Each dialog is asked as CEF asks it, on the UI thread: the calling thread plays it.
bool Confirm(COffscreenBrowserWindow& window, CefRefPtr<CefJSDialogCallback> callback, const wchar_t* message)
{
    const CUiThreadScope ui;
    bool suppress = false;
    return window.OnJSDialog(nullptr, L"http://pagehull.test/", L"en", JSDIALOGTYPE_CONFIRM, message, CefString(),
                             callback, suppress);
}

bool OpenFile(COffscreenBrowserWindow& window, CefRefPtr<CefFileDialogCallback> callback)
{
    const CUiThreadScope ui;
    return window.OnFileDialog(nullptr, FILE_DIALOG_OPEN, CefString(), CefString(), {L".txt"}, 0, callback);
}

CefRefPtr<COffscreenBrowserWindow> WindowWithoutChannel()
{
    return new COffscreenBrowserWindow(0, -1, CefString(), ::GetModuleHandleW(nullptr));
}

// A window whose channel is open to our add-in end.
class WindowWithChannel : public ::testing::Test {
protected:
    void SetUp() override
    {
        const int32_t index = NextIndex();
        m_addin = std::make_unique<CAddinEnd>(SelfPid(), index);
        m_window = new COffscreenBrowserWindow(SelfPid(), index, CefString(), ::GetModuleHandleW(nullptr));
        {
            const CUiThreadScope ui;
            m_window->CreateHostWindow();
        }
        ASSERT_TRUE(m_addin->WaitForHost());
    }

    void TearDown() override
    {
        m_window = nullptr;
        // Each test's window registers the class anew.
        ::UnregisterClassW(kHostWindowClass, ::GetModuleHandleW(nullptr));
    }

    // Everything the add-in has received, once `last` is among it.
    std::vector<std::wstring> EventsUpTo(const std::wstring& last)
    {
        EXPECT_TRUE(m_addin->WaitForEvent(last)) << "no event " << std::string(last.begin(), last.end());
        return m_addin->Events();
    }

    std::unique_ptr<CAddinEnd> m_addin;
    CefRefPtr<COffscreenBrowserWindow> m_window;
};

} // namespace

TEST_F(WindowWithChannel, OnlyTheTwoPageScriptMessagesWithAStringBecomeEvents)
{
    CefRefPtr<CefProcessMessage> number = Message(L"JsExtHandler");
    number->GetArgumentList()->SetInt(0, 5);
    const CefRefPtr<CefProcessMessage> messages[] = {
        Message(L"JsExtHandler", L"one"),
        Message(L"JsExtHandlerAddinTrace", L"two"),
        Message(L"jsexthandler", L"case matters"),
        Message(L"JsExtHandlerOther", L"other name"),
        Message(L"JsExtHandler"),
        number,
        Message(L"JsExtHandler", L"three"),
    };
    const CUiThreadScope ui;
    for (const CefRefPtr<CefProcessMessage>& message : messages)
        EXPECT_FALSE(m_window->OnProcessMessageReceived(nullptr, PID_RENDERER, message));

    EXPECT_EQ(EventsUpTo(L"JSDispatch:three"),
              (std::vector<std::wstring>{L"JSDispatch:one", L"addinTrace:two", L"JSDispatch:three"}));
}

TEST_F(WindowWithChannel, CloseReleasesWaitingDialogsWithoutAnsweringThem)
{
    CefRefPtr<MockJsDialogCallback> confirmation = new MockJsDialogCallback;
    CefRefPtr<MockFileDialogCallback> fileChoice = new MockFileDialogCallback;
    EXPECT_CALL(*confirmation, Continue(_, _)).Times(0);
    EXPECT_CALL(*fileChoice, Continue(_, _)).Times(0);
    EXPECT_CALL(*fileChoice, Cancel()).Times(0);

    bool confirmHandled = false;
    bool fileHandled = false;
    std::thread confirmWait([&] { confirmHandled = Confirm(*m_window, confirmation, L"Stay?"); });
    EXPECT_TRUE(m_addin->WaitForEvent(L"confirm:Stay?"));
    std::thread fileWait([&] { fileHandled = OpenFile(*m_window, fileChoice); });
    EXPECT_TRUE(m_addin->WaitForEvent(L"fileDialog:dialogMode:0|fileType:.txt|"));

    // Also after a failed wait: the threads must be released before they are joined.
    m_window->Close();
    confirmWait.join();
    fileWait.join();
    EXPECT_TRUE(confirmHandled);
    EXPECT_TRUE(fileHandled);
}

// Close has already released every waiting dialog; a later one would wait for an answer that
// can no longer come, with the UI thread blocked and the close never carried out.
TEST_F(WindowWithChannel, AfterCloseADialogIsDeclinedAtOnceWithoutAsking)
{
    m_window->Close();

    CefRefPtr<MockJsDialogCallback> confirmation = new MockJsDialogCallback;
    EXPECT_CALL(*confirmation, Continue(false, CefString()));
    EXPECT_TRUE(Confirm(*m_window, confirmation, L"Too late?"));
    CefRefPtr<MockFileDialogCallback> fileChoice = new MockFileDialogCallback;
    EXPECT_CALL(*fileChoice, Cancel());
    EXPECT_TRUE(OpenFile(*m_window, fileChoice));

    {
        const CUiThreadScope ui;
        m_window->OnProcessMessageReceived(nullptr, PID_RENDERER, Message(L"JsExtHandler", L"end"));
    }
    EXPECT_EQ(EventsUpTo(L"JSDispatch:end"), std::vector<std::wstring>{L"JSDispatch:end"});
}

TEST(WindowWithoutChannel, DialogsThatNeedAnAnswerAreDeclinedAndAlertsContinued)
{
    const CefRefPtr<COffscreenBrowserWindow> window = WindowWithoutChannel();
    const CUiThreadScope ui;
    bool suppress = false;
    const struct {
        cef_jsdialog_type_t type;
        bool success;
    } dialogs[] = {{JSDIALOGTYPE_ALERT, true}, {JSDIALOGTYPE_CONFIRM, false}, {JSDIALOGTYPE_PROMPT, false}};
    for (const auto& dialog : dialogs) {
        CefRefPtr<MockJsDialogCallback> callback = new MockJsDialogCallback;
        EXPECT_CALL(*callback, Continue(dialog.success, CefString()));
        EXPECT_TRUE(window->OnJSDialog(nullptr, CefString(), CefString(), dialog.type, L"Question", L"default",
                                       callback, suppress));
    }

    CefRefPtr<MockFileDialogCallback> fileChoice = new MockFileDialogCallback;
    EXPECT_CALL(*fileChoice, Cancel());
    EXPECT_TRUE(OpenFile(*window, fileChoice));
}
