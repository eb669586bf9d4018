// Script and file dialogs raised by the page: reported to the add-in in their exact form,
// alerts continued at once, the rest held until the add-in answers or closes the host.

#include "DrivenHost.h"

#include <gtest/gtest.h>

#include <string>

using namespace NsHostTest;

namespace {

const std::wstring kPage = L"http://pagehull.test/dialogs";

NsChannel::Command DialogReply(NsChannel::CommandCode code, bool answer, const std::u16string& text)
{
    NsChannel::Command reply = MakeCommand(code);
    reply.answer = answer;
    reply.text = text;
    return reply;
}

NsChannel::Command JsDialogReply(bool success, const std::u16string& input)
{
    return DialogReply(NsChannel::CMD_JS_DIALOG_REPLY, success, input);
}

NsChannel::Command FileDialogReply(bool accepted, const std::u16string& pathList)
{
    return DialogReply(NsChannel::CMD_FILE_DIALOG_REPLY, accepted, pathList);
}

struct CLoadedHost : CDrivenHost {
    CLoadedHost() : CDrivenHost(kPage)
    {
        EXPECT_TRUE(ExpectEvents({L"browserCreated:", L"address:" + kPage, L"loadStart:", L"loadEnd:200"}));
    }

    // Raises a script dialog and waits for the question to reach the add-in.
    void Ask(const std::string& dialog, const std::wstring& question)
    {
        ASSERT_TRUE(Request("dialog " + dialog));
        ASSERT_TRUE(ExpectEvents({question}));
    }

    // The page's record of the next script-dialog answer.
    std::optional<std::string> DialogAnswer() { return Engine().WaitForJournal("call JSDialogCallback.Continue"); }
};

} // namespace

TEST(ScriptDialogs, AnAlertIsReportedAndContinuedAtOnce)
{
    CLoadedHost host;
    for (const auto& [message, event] :
         {std::pair<std::string, std::wstring>{"Saved%2C%20thanks", L"alert:Saved, thanks"}, {"-", L"alert:"}}) {
        host.Ask("alert " + message, event);
        const std::optional<std::string> answer = host.DialogAnswer();
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(Field(*answer, "success"), "1");
        EXPECT_EQ(JournalText(*answer, "user_input"), "");
    }
    EXPECT_TRUE(host.Close());
}

TEST(ScriptDialogs, AConfirmWaitsForTheAddinsAnswerEitherWay)
{
    CLoadedHost host;
    for (const bool success : {false, true}) {
        host.Ask("confirm Leave%20the%20meeting?", L"confirm:Leave the meeting?");
        ASSERT_TRUE(host.Addin().Send(JsDialogReply(success, u"")));
        const std::optional<std::string> answer = host.DialogAnswer();
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(Field(*answer, "success"), success ? "1" : "0");
    }
    EXPECT_TRUE(host.Close());
}

TEST(ScriptDialogs, APromptCarriesItsDefaultTextBehindATildeOnlyWhenThereIsOne)
{
    CLoadedHost host;
    host.Ask("prompt Your%20name Ann~Lee", L"prompt:Your name~Ann~Lee");
    ASSERT_TRUE(host.Addin().Send(JsDialogReply(true, u"Bob")));
    std::optional<std::string> answer = host.DialogAnswer();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(Field(*answer, "success"), "1");
    EXPECT_EQ(JournalText(*answer, "user_input"), "Bob");
    // A second answer to the same dialog finds nothing to continue, and cannot release the next.
    ASSERT_TRUE(host.Addin().Send(JsDialogReply(true, u"twice")));
    ASSERT_TRUE(host.Addin().QueryUrl());

    host.Ask("prompt Your%20name -", L"prompt:Your name");
    ASSERT_TRUE(host.Addin().Send(JsDialogReply(false, u"")));
    answer = host.DialogAnswer();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(Field(*answer, "success"), "0");
    EXPECT_EQ(Field(*answer, "ignored"), "");
    EXPECT_TRUE(host.Close());
}

TEST(ScriptDialogs, AnAnswerWithNoDialogWaitingIsIgnoredAndTheNextDialogWaitsForItsOwn)
{
    CLoadedHost host;
    ASSERT_TRUE(host.Addin().Send(JsDialogReply(true, u"stray")));
    // Commands are handled in order: once the query is answered, the stray answer is gone.
    ASSERT_TRUE(host.Addin().QueryUrl());
    host.Ask("prompt Topic -", L"prompt:Topic");
    ASSERT_TRUE(host.Addin().Send(JsDialogReply(true, u"budget")));
    const std::optional<std::string> answer = host.DialogAnswer();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(JournalText(*answer, "user_input"), "budget");
    EXPECT_EQ(Field(*answer, "ignored"), "");
    EXPECT_TRUE(host.Close());
}

TEST(ScriptDialogs, ClosingWhileAConfirmWaitsDropsItAndEndsTheHost)
{
    CLoadedHost host;
    host.Ask("confirm Stay?", L"confirm:Stay?");
    // The waiting UI thread is released, or the browser could not close.
    EXPECT_TRUE(host.Close());
}

TEST(FileDialogs, TheQuestionHasTheExactFormAndTwoChosenPathsReachThePage)
{
    CLoadedHost host;
    ASSERT_TRUE(host.Request("file-dialog 0 - - .png .jpg"));
    ASSERT_TRUE(host.ExpectEvents({L"fileDialog:dialogMode:0|fileType:.png|fileType:.jpg|"}));
    ASSERT_TRUE(host.Addin().Send(FileDialogReply(true, u"C:\\a.png|C:\\b.jpg")));

    const std::optional<std::string> answer = host.Engine().WaitForJournal("call FileDialogCallback.Continue");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(Field(*answer, "selected_accept_filter"), "0");
    EXPECT_EQ(Field(*answer, "count"), "2");
    EXPECT_EQ(JournalText(*answer, "file_paths"), "C:\\a.png,C:\\b.jpg");
    EXPECT_TRUE(host.Close());
}

TEST(FileDialogs, TitleDefaultPathAndFlagBitsAreReportedAndARefusalCancels)
{
    CLoadedHost host;
    // Save dialog (3) with the overwrite prompt flag (0x01000000).
    ASSERT_TRUE(host.Request("file-dialog 16777219 Save%20minutes C:\\minutes.txt"));
    ASSERT_TRUE(host.ExpectEvents({L"fileDialog:dialogMode:16777219|title:Save minutes|defFileName:C:\\minutes.txt|"}));
    ASSERT_TRUE(host.Addin().Send(FileDialogReply(false, u"C:\\ignored.txt")));
    EXPECT_TRUE(host.Engine().WaitForJournal("call FileDialogCallback.Cancel"));
    const std::optional<std::string> result = host.Engine().WaitForJournal("event FileDialogResult");
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(Field(*result, "accepted"), "0");
    EXPECT_TRUE(host.Close());
}

// Without the add-in nobody could answer, so the host declines instead of blocking for ever.
TEST(WithoutAChannel, DialogsThatNeedAnAnswerAreDeclinedAtOnce)
{
    CChildProcess host(HostPath(), HostArguments(1234, -1, kPage));
    CEngineControl engine(host);
    ASSERT_TRUE(engine.WaitForJournal("hook OnLoadEnd"));

    ASSERT_TRUE(engine.Request("dialog alert Hello"));
    std::optional<std::string> answer = engine.WaitForJournal("call JSDialogCallback.Continue");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(Field(*answer, "success"), "1");
    for (const char* dialog : {"dialog confirm Sure?", "dialog prompt Name Ann"}) {
        ASSERT_TRUE(engine.Request(dialog));
        answer = engine.WaitForJournal("call JSDialogCallback.Continue");
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(Field(*answer, "success"), "0") << dialog;
        EXPECT_EQ(JournalText(*answer, "user_input"), "") << dialog;
    }
    ASSERT_TRUE(engine.Request("file-dialog 0 - - .txt"));
    EXPECT_TRUE(engine.WaitForJournal("call FileDialogCallback.Cancel"));

    ::PostMessageW(FindHostWindow(host.Id()), WM_CLOSE, 0, 0);
    EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
}
