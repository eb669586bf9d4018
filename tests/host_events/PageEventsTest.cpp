// What the add-in hears of a page: loads of every frame, page script's strings, popup
// requests, and the policies that send nothing (external protocols, certificate errors,
// downloads, console messages, titles). Each event text is compared in full, in order.

#include "DrivenHost.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace NsHostTest;

namespace {

const std::wstring kPage = L"http://pagehull.test/events";
const std::wstring kOtherPage = L"http://pagehull.test/other";

const char kWindowCloseScript[] = "window.close = function() { brelvo.Mevora.dispatchEvent('windowClose'); };";
const char kWindowOpenScript[] =
    "window.open = function(address) { brelvo.Mevora.dispatchEvent('windowOpen:'+address); };";

std::string Narrow(const std::wstring& ascii)
{
    return std::string(ascii.begin(), ascii.end());
}

std::vector<std::wstring> LoadEvents(const std::wstring& address, int status = 200)
{
    return {L"address:" + address, L"loadStart:", L"loadEnd:" + std::to_wstring(status)};
}

// A host on kPage whose first load has been reported.
struct CLoadedHost : CDrivenHost {
    CLoadedHost() : CDrivenHost(kPage)
    {
        std::vector<std::wstring> start = {L"browserCreated:"};
        const std::vector<std::wstring> load = LoadEvents(kPage);
        start.insert(start.end(), load.begin(), load.end());
        EXPECT_TRUE(ExpectEvents(start));
    }
};

// The two window scripts, run in `frame` after its load with the frame's address.
void ExpectWindowScripts(NsHostTest::CEngineControl& engine, const std::string& frame, const std::wstring& address)
{
    for (const char* script : {kWindowCloseScript, kWindowOpenScript}) {
        const std::optional<std::string> run = engine.WaitForJournal("call ExecuteJavaScript frame=" + frame);
        ASSERT_TRUE(run.has_value());
        EXPECT_EQ(JournalText(*run, "code"), script);
        EXPECT_EQ(JournalText(*run, "script_url"), Narrow(address));
        EXPECT_EQ(Field(*run, "start_line"), "0");
    }
}

} // namespace

TEST(PageLoad, EachLoadIsReportedAndEndsWithBothWindowScriptsInItsFrame)
{
    CLoadedHost host;
    const std::optional<std::string> end = host.Engine().WaitForJournal("hook OnLoadEnd");
    ASSERT_TRUE(end.has_value());
    ExpectWindowScripts(host.Engine(), Field(*end, "frame"), kPage);

    // Statuses pass as they come; payloads are not escaped.
    const std::wstring unusual = L"http://pagehull.test/a|b~c:d?q=%C3%BC";
    ASSERT_TRUE(host.Request("next-status 404"));
    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(unusual)));
    EXPECT_TRUE(host.ExpectEvents(LoadEvents(unusual, 404)));

    // An empty address is still reported, as the prefix alone.
    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(L"")));
    EXPECT_TRUE(host.ExpectEvents(LoadEvents(L"")));
    EXPECT_TRUE(host.Close());
}

TEST(PageLoad, ASubFrameIsReportedLikeTheMainFrameAndGetsBothScripts)
{
    CLoadedHost host;
    const std::wstring side = L"http://pagehull.test/side";
    const std::optional<std::string> added = host.Engine().Request("subframe side " + Narrow(side));
    ASSERT_TRUE(added.has_value());
    const std::string frame = Field(*added, "frame");
    ASSERT_FALSE(frame.empty()) << *added;

    EXPECT_TRUE(host.ExpectEvents(LoadEvents(side)));
    ExpectWindowScripts(host.Engine(), frame, side);
    EXPECT_TRUE(host.Close());
}

TEST(PageLoad, AFailedLoadReportsTheErrorTextAlone)
{
    CLoadedHost host;
    ASSERT_TRUE(host.Request("next-error -105 net::ERR_NAME_NOT_RESOLVED"));
    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(L"http://nowhere.pagehull.test/")));
    EXPECT_TRUE(host.ExpectEvents({L"loadError:net::ERR_NAME_NOT_RESOLVED"}));

    ASSERT_TRUE(host.Request("next-error -2 -"));
    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(L"http://nowhere.pagehull.test/")));
    EXPECT_TRUE(host.ExpectEvents({L"loadError:"}));
    EXPECT_TRUE(host.Close());
}

TEST(PageScript, EveryRendererRegistersTheExtensionWithItsScriptExactly)
{
    CLoadedHost host;
    const std::optional<std::string> registration = host.Engine().WaitForJournal("renderer call CefRegisterExtension");
    ASSERT_TRUE(registration.has_value());
    EXPECT_EQ(JournalText(*registration, "extension_name"), "addin/mevora");
    EXPECT_EQ(Field(*registration, "natives"), "dispatchEvent,addinTrace");
    EXPECT_EQ(Field(*registration, "value"), "1");
    EXPECT_EQ(JournalText(*registration, "javascript_code"),
              "var brelvo;if (!brelvo)\tbrelvo = {};if (!brelvo.Mevora)\tbrelvo.Mevora = {};"
              "(\tfunction()\t{\t\tbrelvo.Mevora.dispatchEvent = function(evtStr)\t\t\t{"
              "\t\t\t\tnative function dispatchEvent();\t\t\t\treturn dispatchEvent(evtStr);"
              "\t\t\t};\t\tbrelvo.Mevora.addinTrace = function(evtStr)\t\t\t{"
              "\t\t\t\tnative function addinTrace();\t\t\t\treturn addinTrace(evtStr);\t\t\t};"
              "\t})();;");
    EXPECT_TRUE(host.Close());
}

TEST(PageScript, BothFunctionsPassTheirStringUnchangedAndReturnNothing)
{
    CLoadedHost host;
    for (const auto& [call, event] : std::vector<std::pair<std::string, std::wstring>>{
             {"dispatchEvent s:windowClose", L"JSDispatch:windowClose"},
             {"addinTrace s:a:b|c~d%20\xC3\xBC", L"addinTrace:a:b|c~d \u00FC"},
             {"dispatchEvent s:-", L"JSDispatch:"}}) {
        const std::optional<std::string> answer = host.Engine().Request("call " + call);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(Field(*answer, "outcome"), "returned") << call;
        EXPECT_EQ(Field(*answer, "retval"), "undefined") << call;
        EXPECT_TRUE(host.ExpectEvents({event}));
    }
    EXPECT_TRUE(host.Close());
}

TEST(PageScript, AnythingButOneStringThrowsAndSendsNothing)
{
    CLoadedHost host;
    struct Misuse {
        const char* arguments;
        const char* dispatchEventError;
        const char* addinTraceError;
    };
    // The page's own wrappers always pass one argument, `undefined` when the page gave none;
    // calling the native functions directly also reaches the count check.
    const Misuse misuses[] = {
        {"undefined", "Dispatch event : need string param", "Dispatch addinTrace : need string param"},
        {"i:42", "Dispatch event : need string param", "Dispatch addinTrace : need string param"},
        {"object", "Dispatch event : need string param", "Dispatch addinTrace : need string param"},
        {"", "Dispatch event : need only one parameter", "Dispatch addinTrace : need only one parameter"},
        {"s:first s:second", "Dispatch event : need only one parameter",
         "Dispatch addinTrace : need only one parameter"},
    };
    for (const Misuse& misuse : misuses) {
        for (const auto& [function, error] :
             {std::pair<std::string, std::string>{"dispatchEvent", misuse.dispatchEventError},
              {"addinTrace", misuse.addinTraceError}}) {
            std::string call = "call " + function;
            if (*misuse.arguments)
                call += std::string(" ") + misuse.arguments;
            const std::optional<std::string> answer = host.Engine().Request(call);
            ASSERT_TRUE(answer.has_value());
            EXPECT_EQ(Field(*answer, "outcome"), "threw") << call;
            EXPECT_EQ(JournalText(*answer, "exception"), error) << call;
        }
    }
    EXPECT_TRUE(host.ExpectNoEvent());
    EXPECT_TRUE(host.Close());
}

TEST(Popups, APopupRequestIsReportedAsWindowOpenAndNeverOpens)
{
    CLoadedHost host;
    ASSERT_TRUE(host.Request("popup http://pagehull.test/new _blank"));
    EXPECT_TRUE(host.ExpectEvents({L"JSDispatch:windowOpen:http://pagehull.test/new"}));
    const std::optional<std::string> refused = host.Engine().WaitForJournal("return OnBeforePopup");
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(Field(*refused, "value"), "1");
    EXPECT_TRUE(host.Engine().WaitForJournal("event PopupRefused"));
    const std::optional<std::string> status = host.Engine().Request("status");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(Field(*status, "browsers"), "1");
    EXPECT_TRUE(host.Close());
}

TEST(Policies, AfterAnExternalProtocolOnlyTheNextNavigationIsCancelled)
{
    CLoadedHost host;
    ASSERT_TRUE(host.Request("protocol mailto:someone@pagehull.test"));
    const std::optional<std::string> handed = host.Engine().WaitForJournal("return OnProtocolExecution");
    ASSERT_TRUE(handed.has_value());
    EXPECT_EQ(Field(*handed, "allow_os_execution"), "1");

    ASSERT_TRUE(host.Request("navigate " + Narrow(kOtherPage)));
    EXPECT_TRUE(host.Engine().WaitForJournal("event NavigationCancelled"));
    EXPECT_TRUE(host.ExpectNoEvent());

    ASSERT_TRUE(host.Request("navigate " + Narrow(kOtherPage)));
    EXPECT_TRUE(host.ExpectEvents(LoadEvents(kOtherPage)));
    EXPECT_TRUE(host.Close());
}

TEST(Policies, CertificateErrorsAreAcceptedAndTheLoadGoesOn)
{
    CLoadedHost host;
    const std::wstring insecure = L"https://self-signed.pagehull.test/";
    ASSERT_TRUE(host.Request("cert-error -202 " + Narrow(insecure)));
    const std::optional<std::string> answer = host.Engine().WaitForJournal("call RequestCallback.Continue");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(Field(*answer, "allow"), "1");
    EXPECT_TRUE(host.ExpectEvents(LoadEvents(insecure)));
    EXPECT_TRUE(host.Close());
}

TEST(Policies, DownloadsGoToTheSaveDialogUnderTheSuggestedNameWithoutAnEvent)
{
    CLoadedHost host;
    ASSERT_TRUE(host.Request("download http://pagehull.test/minutes.pdf minutes.pdf"));
    const std::optional<std::string> answer = host.Engine().WaitForJournal("call BeforeDownloadCallback.Continue");
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(JournalText(*answer, "download_path"), "");
    EXPECT_EQ(Field(*answer, "show_dialog"), "1");
    EXPECT_TRUE(host.ExpectNoEvent());
    EXPECT_TRUE(host.Close());
}

TEST(Policies, ConsoleMessagesAreSwallowedAndTitlesOnlyReachTheCaption)
{
    CLoadedHost host;
    ASSERT_TRUE(host.Request("console hello"));
    const std::optional<std::string> console = host.Engine().WaitForJournal("return OnConsoleMessage");
    ASSERT_TRUE(console.has_value());
    EXPECT_EQ(Field(*console, "value"), "1");

    const HWND window = FindHostWindow(host.Process().Id());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(host.Request("title Agenda"));
    ASSERT_TRUE(host.Engine().WaitForJournal("hook OnTitleChange title=Agenda"));
    // An empty title leaves the last one in place.
    ASSERT_TRUE(host.Request("title -"));
    ASSERT_TRUE(host.Engine().WaitForJournal("hook OnTitleChange title=-"));
    EXPECT_TRUE(host.ExpectNoEvent());
    EXPECT_EQ(WindowCaption(window), L"Agenda " + kPage);
    EXPECT_TRUE(host.Close());
}
