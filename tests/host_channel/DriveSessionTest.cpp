// The driver's session against the host's own dispatcher in the same process: steps become
// the right commands, answers and event texts come back, and every failure has its exit code.

#include "BrowserControlee.h"
#include "ChannelTestSupport.h"
#include "DriveSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>

using namespace NsChannelTest;
using ::testing::Contains;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;

namespace {

class CBrowser : public IBrowserControleeConsumer {
public:
    MOCK_METHOD(void, MouseMove, (int, int, bool, int), (override));
    MOCK_METHOD(void, MouseClick, (int, int, bool, bool, int), (override));
    MOCK_METHOD(void, MouseWheel, (int, int, int, int, int), (override));
    MOCK_METHOD(void, KeyEvent, (int, bool, bool, bool, bool), (override));
    MOCK_METHOD(void, Focus, (bool), (override));
    MOCK_METHOD(void, GoBack, (), (override));
    MOCK_METHOD(bool, CanGoBack, (), (override));
    MOCK_METHOD(void, GoForward, (), (override));
    MOCK_METHOD(bool, CanGoForward, (), (override));
    MOCK_METHOD(void, LoadUrl, (std::wstring), (override));
    MOCK_METHOD(std::wstring, GetUrl, (), (override));
    MOCK_METHOD(void, Resize, (int, int), (override));
    MOCK_METHOD(void, ExecuteScript, (std::wstring), (override));
    MOCK_METHOD(void, JsDialogReply, (bool, std::wstring), (override));
    MOCK_METHOD(void, FileDialogReply, (bool, std::vector<std::wstring>), (override));
    MOCK_METHOD(void, Close, (), (override));
};

class CCollectedOutput : public IDriveOutput {
public:
    void Print(const std::wstring& line) override
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_lines.push_back(line);
    }
    void Fail(const std::wstring& message) override
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_failures.push_back(message);
    }
    std::vector<std::wstring> Lines()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }
    size_t FailureCount()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_failures.size();
    }

private:
    std::mutex m_lock;
    std::vector<std::wstring> m_lines;
    std::vector<std::wstring> m_failures;
};

class DriveSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(session.Open(), DriveExit::Ok);
        ASSERT_TRUE(host.Start());
        ASSERT_EQ(session.AwaitHost(), DriveExit::Ok);
    }

    DriveExit Run(const std::vector<std::wstring>& lines)
    {
        std::vector<DriveStep> steps;
        for (const std::wstring& line : lines) {
            std::wstring error;
            EXPECT_TRUE(ParseStep(line, steps, error));
        }
        return session.Run(steps);
    }

    const ChannelKey key = NextKey();
    CCollectedOutput output;
    CDriveSession session{key.index, output, 5000};
    NiceMock<CBrowser> browser;
    CBrowserControlee host{key.processId, key.index, &browser};
};

TEST_F(DriveSessionTest, StepsReachTheBrowserAndAnswersArePrinted)
{
    {
        InSequence order;
        EXPECT_CALL(browser, MouseClick(30, 40, true, true, 0));
        EXPECT_CALL(browser, MouseClick(30, 40, true, false, 0));
        EXPECT_CALL(browser, LoadUrl(std::wstring(L"http://x.test/")));
        EXPECT_CALL(browser, CanGoBack()).WillOnce(Return(true));
        EXPECT_CALL(browser, GetUrl()).WillOnce(Return(L"http://x.test/"));
    }
    EXPECT_EQ(Run({L"click 30 40", L"load http://x.test/", L"can-go-back true", L"url http://*"}), DriveExit::Ok);
    EXPECT_THAT(output.Lines(), Contains(L"canGoBack: true"));
    EXPECT_THAT(output.Lines(), Contains(L"url: http://x.test/"));
}

TEST_F(DriveSessionTest, AnAnswerOtherThanExpectedIsAMismatch)
{
    EXPECT_CALL(browser, CanGoForward()).WillOnce(Return(false));
    EXPECT_EQ(Run({L"can-go-forward true"}), DriveExit::Mismatch);
    EXPECT_EQ(output.FailureCount(), 1u);
}

TEST_F(DriveSessionTest, WaitsFindEventTextsInOrderEvenWhenTheyCameEarlier)
{
    host.SendBrowserEvent(L"loadStart:");
    host.SendBrowserEvent(L"address:about:blank");
    host.SendBrowserEvent(L"loadEnd:200");
    EXPECT_EQ(Run({L"wait loadStart:", L"wait loadEnd:2*"}), DriveExit::Ok);
    EXPECT_THAT(output.Lines(), Contains(L"event: address:about:blank"));
    // The address text came before the last match, so it is used up.
    EXPECT_EQ(Run({L"timeout 200", L"wait address:*"}), DriveExit::TimedOut);
}

TEST_F(DriveSessionTest, FramesAreWaitedForAndWrittenAsPictures)
{
    EXPECT_EQ(session.SavePng(L"unused.png"), DriveExit::NoPicture);
    const unsigned char pixels[] = {0, 0, 255, 255, 0, 255, 0, 255};
    host.SendFrame(2, 1, pixels, sizeof pixels);

    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"drive-session-" + std::to_wstring(key.index) + L".png";
    EXPECT_EQ(Run({L"frame", L"png " + path}), DriveExit::Ok);
    EXPECT_THAT(output.Lines(), Contains(L"frame: 2x1"));
    EXPECT_THAT(output.Lines(), Contains(L"png: " + path + L" 2x1"));
    NsWin32::CFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(file);
    char signature[4] = {};
    DWORD got = 0;
    ASSERT_TRUE(::ReadFile(file.Get(), signature, 4, &got, nullptr));
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");

    EXPECT_EQ(Run({L"timeout 200", L"frame"}), DriveExit::TimedOut) << "no frame newer than the one seen";
}

TEST_F(DriveSessionTest, AHostThatWentAwayEndsTheScript)
{
    host.Stop();
    EXPECT_EQ(Run({L"back"}), DriveExit::HostGone);
}

TEST_F(DriveSessionTest, AQueryWithoutAnswerTimesOut)
{
    EXPECT_CALL(browser, Close()).WillOnce([this] { host.SetConsumer(nullptr); });
    EXPECT_EQ(Run({L"close", L"timeout 300", L"url"}), DriveExit::TimedOut);
}

} // namespace
