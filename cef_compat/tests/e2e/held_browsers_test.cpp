// Browser creation held back by CEFCOMPAT_HOLD_BROWSERS=1: the client hears nothing of its
// browser until release-browsers, popups wait the same way, and a creation still held when
// the client shuts down never happens.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client_session.h"

namespace cefcompat_test {
namespace {

using ::testing::StartsWith;

// Set in this process while it lives, so that the processes started meanwhile inherit it.
class CScopedVariable {
public:
    CScopedVariable(const wchar_t* name, const wchar_t* value) : m_name(name)
    {
        wchar_t previous[256] = {};
        const DWORD length = GetEnvironmentVariableW(name, previous, 256);
        m_hadValue = length > 0 && length < 256;
        if (m_hadValue)
            m_previous.assign(previous, length);
        SetEnvironmentVariableW(name, value);
    }
    CScopedVariable(const CScopedVariable&) = delete;
    CScopedVariable& operator=(const CScopedVariable&) = delete;
    ~CScopedVariable() { SetEnvironmentVariableW(m_name, m_hadValue ? m_previous.c_str() : nullptr); }

private:
    const wchar_t* const m_name;
    bool m_hadValue = false;
    std::wstring m_previous;
};

std::unique_ptr<CClientSession> StartHeld(const std::vector<std::wstring>& arguments)
{
    const CScopedVariable hold(L"CEFCOMPAT_HOLD_BROWSERS", L"1");
    return std::make_unique<CClientSession>(arguments);
}

TEST(HeldBrowsers, TheClientHearsOfItsBrowserOnlyAfterTheReleaseAndPopupsWaitTheSameWay)
{
    const std::unique_ptr<CClientSession> session = StartHeld({L"--test-allow-popups", L"http://held.test/"});
    CClientSession& s = *session;
    ASSERT_TRUE(s.IsReady()) << s.Problem();
    EXPECT_NE(s.WaitJournal({"event", "BrowserCreationHold", "variable=CEFCOMPAT_HOLD_BROWSERS"}).seq, 0u);
    const CJournalHit held =
        s.WaitJournal({"event", "BrowserCreationHeld", "url=http://held.test/", "is_popup=0", "held=1"});
    ASSERT_NE(held.seq, 0u);
    EXPECT_EQ(s.Control("status"), "ok browsers=0 target=0 held=1");
    EXPECT_EQ(s.Control("title nothing"), "error no-browser");
    EXPECT_EQ(s.WaitJournal({"hook", "OnAfterCreated"}, 0, 0).seq, 0u);
    EXPECT_TRUE(s.WaitReport({"created"}, 0, 0).empty());

    EXPECT_EQ(s.Control("release-browsers"), "ok released=1");
    EXPECT_FALSE(s.WaitReport({"created", "popup=0", "on_ui=1"}).empty());
    EXPECT_FALSE(s.WaitReport({"load-end", "main=1", "status=200", "url=http://held.test/"}).empty());
    const CJournalHit released = s.WaitJournal({"event", "BrowserCreationReleased", "count=1"}, held.seq);
    const CJournalHit created = s.WaitJournal({"hook", "OnAfterCreated", "is_popup=0"}, held.seq);
    ASSERT_NE(released.seq, 0u);
    EXPECT_GT(created.seq, released.seq);
    EXPECT_EQ(s.Control("release-browsers"), "ok released=0");

    // The hold stays in force: a popup the client allows waits for the next release.
    EXPECT_EQ(s.Control("popup http://popup.test/ side"), "ok");
    EXPECT_NE(s.WaitJournal({"event", "BrowserCreationHeld", "url=http://popup.test/", "is_popup=1", "held=1"}).seq,
              0u);
    EXPECT_THAT(s.Control("status"), StartsWith("ok browsers=1 "));
    EXPECT_TRUE(s.WaitReport({"created", "popup=1"}, 0, 0).empty());
    EXPECT_EQ(s.Control("release-browsers"), "ok released=1");
    EXPECT_FALSE(s.WaitReport({"created", "popup=1", "windowless=0"}).empty());

    s.Send("close");
    EXPECT_FALSE(s.WaitReport({"before-close", "popup=1"}).empty());
    EXPECT_EQ(s.WaitExit(), 0u);
}

TEST(HeldBrowsers, ACreationStillHeldAtShutdownNeverReachesTheClient)
{
    const std::unique_ptr<CClientSession> session = StartHeld({L"http://held.test/"});
    CClientSession& s = *session;
    ASSERT_TRUE(s.IsReady()) << s.Problem();
    ASSERT_NE(s.WaitJournal({"event", "BrowserCreationHeld", "url=http://held.test/"}).seq, 0u);

    s.Send("quit");
    EXPECT_FALSE(s.WaitReport({"shutdown"}).empty());
    EXPECT_EQ(s.WaitExit(), 0u);
    EXPECT_TRUE(s.WaitReport({"created"}, 0, 0).empty());
    EXPECT_TRUE(s.WaitReport({"before-close"}, 0, 0).empty());
}

TEST(HeldBrowsers, WithoutTheVariableNothingIsHeld)
{
    CClientSession s({L"http://free.test/"});
    ASSERT_TRUE(s.IsReady()) << s.Problem();
    EXPECT_FALSE(s.WaitReport({"created", "popup=0"}).empty());
    EXPECT_EQ(s.Control("status"), "ok browsers=1 target=1 held=0");
    const CJournalHit any = s.WaitJournal({"event", "BrowserCreation*"}, 0, 0);
    EXPECT_EQ(any.seq, 0u) << any.line;
    EXPECT_EQ(s.Control("release-browsers"), "ok released=0");
}

} // namespace
} // namespace cefcompat_test
