// The Chromium engine seen from a client that does what the host leaves to the default: it
// takes the question before a page is left, and gives downloads a path or declines them; and
// one that moves through its history without waiting for the pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "client_session.h"

namespace cefcompat_test {
namespace {

// A page script that downloads |text| as |name| through a link.
std::string DownloadScript(const std::string& text, const std::string& name)
{
    return "script const a = document.createElement('a'); a.href = URL.createObjectURL(new Blob(['" + text +
           "'])); a.download = '" + name + "'; document.body.append(a); a.click();";
}

// The names in |folder|.
std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
            names.push_back(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

// Files Chromium removes on its own threads are waited for; nothing signals their going.
bool BecomesTrue(const std::function<bool()>& condition)
{
    for (const DWORD start = GetTickCount(); !condition(); Sleep(100)) {
        if (GetTickCount() - start > kWaitMs)
            return false;
    }
    return true;
}

TEST(ChromiumClient, TheAnswerToTheQuestionBeforeLeavingDecidesWhetherThePageIsLeft)
{
    CClientSession s({L"--cefcompat-engine=chromium", L"data:text/html,first"});
    ASSERT_TRUE(s.IsReady()) << s.Problem();
    ASSERT_FALSE(s.WaitReport({"load-end", "main=1", "status=200"}).empty());
    s.Send("script onbeforeunload = (e) => { e.preventDefault(); e.returnValue = 'Leave?'; }; "
           "onmouseup = () => { document.title = 'used'; }; document.title = 'armed';");
    ASSERT_FALSE(s.WaitReport({"title", "text=armed"}).empty());
    // Chromium asks only on a page the user has used.
    s.Send("click 10 10");
    s.Send("click 10 10 left up");
    ASSERT_FALSE(s.WaitReport({"title", "text=used"}).empty());

    size_t mark = s.ReportMark();
    s.Send("load data:text/html,second");
    ASSERT_FALSE(s.WaitReport({"beforeunload", "is_reload=0"}, mark).empty());
    const uint64_t answered = s.JournalMark();
    s.Send("jsdialog-answer 0");
    ASSERT_NE(s.WaitJournal({"hook", "OnLoadingStateChange", "is_loading=0"}, answered).seq, 0u);
    mark = s.ReportMark();
    s.Send("query");
    EXPECT_FALSE(s.WaitReport({"query", "url=data:text/html,first"}, mark).empty());
    // The page is usable again (and Chromium done with the question) once its script runs.
    s.Send("script document.title = 'stayed';");
    ASSERT_FALSE(s.WaitReport({"title", "text=stayed"}, mark).empty());

    mark = s.ReportMark();
    s.Send("load data:text/html,second");
    ASSERT_FALSE(s.WaitReport({"beforeunload"}, mark).empty());
    s.Send("jsdialog-answer 1");
    EXPECT_FALSE(s.WaitReport({"load-end", "main=1", "url=data:text/html,second"}, mark).empty());
}

TEST(ChromiumClient, DownloadsGoToTheClientsPathOrNowhereAndNoHistoryMoveIsLost)
{
    char temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    // A folder that does not exist yet: it is made, as CEF makes it.
    const std::string folder = std::string(temp) + "cefcompat-download-" + std::to_string(GetCurrentProcessId());
    const std::string path = folder + "\\kept.bin";
    CClientSession s({L"--cefcompat-engine=chromium", L"data:text/html,first"});
    ASSERT_TRUE(s.IsReady()) << s.Problem();
    ASSERT_FALSE(s.WaitReport({"load-end", "main=1", "status=200"}).empty());
    const std::string chromium = s.Control("chromium");
    std::string downloads = "Z:" + Decode(Field(chromium, "profile")) + "/downloads";
    std::replace(downloads.begin(), downloads.end(), '/', '\\');

    s.Send("download-answer " + path);
    s.Send(DownloadScript("bytes of the page", "offered.bin"));
    EXPECT_FALSE(s.WaitReport({"download", "name=offered.bin"}).empty());
    const CJournalHit saved = s.WaitJournal({"event", "DownloadSaved"});
    EXPECT_NE(saved.line.find("moved=1"), std::string::npos) << saved.line;
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "bytes of the page");
    file.close();

    // Chromium lets a page start one download on its own; the next page may start another.
    size_t mark = s.ReportMark();
    s.Send("load data:text/html,second");
    ASSERT_FALSE(s.WaitReport({"load-end", "main=1", "url=data:text/html,second"}, mark).empty());
    const uint64_t declined = s.JournalMark();
    s.Send("download-answer decline");
    s.Send(DownloadScript("declined bytes", "declined.bin"));
    EXPECT_FALSE(s.WaitReport({"download", "name=declined.bin"}).empty());
    EXPECT_NE(s.WaitJournal({"event", "BeforeDownloadCallback.Dropped"}, declined).seq, 0u);
    EXPECT_NE(s.WaitJournal({"event", "DownloadDiscarded"}, declined).seq, 0u);
    EXPECT_TRUE(BecomesTrue([&] { return FilesIn(downloads).empty(); })) << downloads;
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"kept.bin"});

    DeleteFileA(path.c_str());
    RemoveDirectoryA(folder.c_str());

    // Moves called at once each start where the one before goes, whether it has loaded or not.
    s.Send("load data:text/html,third");
    ASSERT_FALSE(s.WaitReport({"load-end", "main=1", "url=data:text/html,third"}, mark).empty());
    mark = s.ReportMark();
    s.Send("back");
    s.Send("forward");
    s.Send("back");
    s.Send("back");
    ASSERT_FALSE(s.WaitReport({"load-end", "main=1", "url=data:text/html,first"}, mark).empty());
    mark = s.ReportMark();
    s.Send("query");
    EXPECT_FALSE(s.WaitReport({"query", "can_go_back=0", "can_go_forward=1"}, mark).empty());
}

} // namespace
} // namespace cefcompat_test
