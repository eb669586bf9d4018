// The Chromium engine seen from a client that takes the question before a page is left, which
// the host leaves to the default.
#include <gtest/gtest.h>

#include "client_session.h"

namespace cefcompat_test {
namespace {

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

    mark = s.ReportMark();
    s.Send("load data:text/html,second");
    ASSERT_FALSE(s.WaitReport({"beforeunload"}, mark).empty());
    s.Send("jsdialog-answer 1");
    EXPECT_FALSE(s.WaitReport({"load-end", "main=1", "url=data:text/html,second"}, mark).empty());
}

} // namespace
} // namespace cefcompat_test
