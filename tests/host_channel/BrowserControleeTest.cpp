// The command dispatcher against a mocked browser: every code reaches its slot with the
// fields from their exact offsets, malformed records reach nothing, and queries are answered
// over a real pipe to the server role in the same process.

#include "BrowserControlee.h"
#include "ByteOrder.h"
#include "ChannelControl.h"
#include "ChannelTestSupport.h"
#include "SharedBlock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace NsChannelTest;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::IsEmpty;
using ::testing::Return;
using ::testing::StrictMock;

namespace {

const DWORD kWaitMs = NsTestSupport::ScaledMs(5000);

class CMockBrowser : public IBrowserControleeConsumer {
public:
    MOCK_METHOD(void, MouseMove, (int x, int y, bool flag, int modifiers), (override));
    MOCK_METHOD(void, MouseClick, (int x, int y, bool leftButton, bool buttonDown, int modifiers), (override));
    MOCK_METHOD(void, MouseWheel, (int x, int y, int deltaX, int deltaY, int modifiers), (override));
    MOCK_METHOD(void, KeyEvent, (int keyCode, bool keyDown, bool keyUp, bool systemKey, bool spare), (override));
    MOCK_METHOD(void, Focus, (bool focused), (override));
    MOCK_METHOD(void, GoBack, (), (override));
    MOCK_METHOD(bool, CanGoBack, (), (override));
    MOCK_METHOD(void, GoForward, (), (override));
    MOCK_METHOD(bool, CanGoForward, (), (override));
    MOCK_METHOD(void, LoadUrl, (std::wstring url), (override));
    MOCK_METHOD(std::wstring, GetUrl, (), (override));
    MOCK_METHOD(void, Resize, (int width, int height), (override));
    MOCK_METHOD(void, ExecuteScript, (std::wstring script), (override));
    MOCK_METHOD(void, JsDialogReply, (bool success, std::wstring userInput), (override));
    MOCK_METHOD(void, FileDialogReply, (bool accepted, std::vector<std::wstring> paths), (override));
    MOCK_METHOD(void, Close, (), (override));
};

// A command record built byte by byte, independent of the encoder under test.
class CRawCommand {
public:
    explicit CRawCommand(int32_t code, size_t size = NsChannel::kCommandRecordSize) : m_bytes(size, 0)
    {
        if (size >= 4)
            Int(0, code);
    }
    CRawCommand& Int(size_t offset, int32_t value)
    {
        NsChannel::WriteInt32(m_bytes.data() + offset, value);
        return *this;
    }
    CRawCommand& Byte(size_t offset, unsigned char value)
    {
        m_bytes[offset] = value;
        return *this;
    }
    CRawCommand& Text(size_t offset, const std::u16string& text)
    {
        for (size_t i = 0; i < text.size(); ++i)
            NsChannel::WriteUnit(m_bytes.data() + offset + 2 * i, text[i]);
        return *this;
    }
    NsChannel::CommandRecord ToRecord() const
    {
        NsChannel::CommandRecord record{};
        std::copy(m_bytes.begin(), m_bytes.begin() + std::min(m_bytes.size(), record.size()), record.begin());
        return record;
    }
    void SendTo(CBrowserControlee& controlee)
    {
        controlee.OnChannelData(m_bytes.data(), static_cast<int32_t>(m_bytes.size()));
    }

private:
    std::vector<unsigned char> m_bytes;
};

class DispatchTest : public ::testing::Test {
protected:
    StrictMock<CMockBrowser> browser;
    CBrowserControlee controlee{812, 0, &browser};
};

TEST_F(DispatchTest, MouseCommandsReadTheirOwnOffsets)
{
    InSequence order;
    EXPECT_CALL(browser, MouseMove(-3, 600, true, 0x40));
    EXPECT_CALL(browser, MouseWheel(5000, 5000, -120, 240, 6));
    EXPECT_CALL(browser, MouseClick(799, 599, false, true, 2));
    EXPECT_CALL(browser, MouseClick(1, 2, true, false, 0));

    CRawCommand(0).Int(4, -3).Int(8, 600).Byte(12, 1).Int(16, 0x40).SendTo(controlee);
    CRawCommand(1).Int(4, 5000).Int(8, 5000).Int(12, -120).Int(16, 240).Int(20, 6).SendTo(controlee);
    // Byte 12 is not part of a click: only 13 (left button) and 14 (button down) are.
    CRawCommand(2).Int(4, 799).Int(8, 599).Byte(12, 1).Byte(13, 0).Byte(14, 7).Int(16, 2).SendTo(controlee);
    CRawCommand(2).Int(4, 1).Int(8, 2).Byte(13, 1).SendTo(controlee);
}

TEST_F(DispatchTest, KeyFocusAndResizePassTheirFieldsUnchanged)
{
    InSequence order;
    EXPECT_CALL(browser, Focus(true));
    EXPECT_CALL(browser, KeyEvent(0x0D, true, true, false, true));
    EXPECT_CALL(browser, KeyEvent(0x61, false, false, true, false));
    EXPECT_CALL(browser, Resize(1920, 1081));

    CRawCommand(3).Byte(4, 2).SendTo(controlee);
    CRawCommand(4).Int(4, 0x0D).Byte(8, 1).Byte(9, 1).Byte(11, 1).SendTo(controlee);
    CRawCommand(4).Int(4, 0x61).Byte(10, 1).SendTo(controlee);
    CRawCommand(11).Int(4, 1920).Int(8, 1081).SendTo(controlee);
}

TEST_F(DispatchTest, NavigationAndCloseTakeNoFields)
{
    InSequence order;
    EXPECT_CALL(browser, GoBack());
    EXPECT_CALL(browser, GoForward());
    EXPECT_CALL(browser, Close());
    CRawCommand(5).Int(4, 99).SendTo(controlee);
    CRawCommand(7).SendTo(controlee);
    CRawCommand(15).SendTo(controlee);
}

TEST_F(DispatchTest, TextsAreCopiedUpToTheirTerminator)
{
    InSequence order;
    EXPECT_CALL(browser, LoadUrl(std::wstring(L"https://example.test/\u00e9")));
    EXPECT_CALL(browser, ExecuteScript(std::wstring(L"window.x = 1;")));
    EXPECT_CALL(browser, JsDialogReply(true, std::wstring(L"typed text")));
    EXPECT_CALL(browser, JsDialogReply(false, std::wstring()));

    CRawCommand(9).Text(4, u"https://example.test/\u00e9").Text(50, u"junk after the end").SendTo(controlee);
    CRawCommand(12).Text(4, u"window.x = 1;").SendTo(controlee);
    CRawCommand(13).Byte(4, 1).Text(6, u"typed text").SendTo(controlee);
    CRawCommand(13).SendTo(controlee);
}

TEST_F(DispatchTest, FileDialogAnswersSkipEmptyPaths)
{
    InSequence order;
    EXPECT_CALL(browser, FileDialogReply(true, ElementsAre(L"C:\\a b.png", L"D:\\c.jpg")));
    EXPECT_CALL(browser, FileDialogReply(true, IsEmpty()));
    EXPECT_CALL(browser, FileDialogReply(false, ElementsAre(L"x")));

    CRawCommand(14).Byte(4, 1).Text(6, u"|C:\\a b.png||D:\\c.jpg|").SendTo(controlee);
    CRawCommand(14).Byte(4, 1).SendTo(controlee);
    CRawCommand(14).Text(6, u"x").SendTo(controlee);
}

TEST_F(DispatchTest, MalformedRecordsReachNothing)
{
    CRawCommand(16).SendTo(controlee);
    CRawCommand(-1).SendTo(controlee);
    CRawCommand(5, 4103).SendTo(controlee);
    CRawCommand(5, 4105).SendTo(controlee);
    CRawCommand(5, 10).SendTo(controlee);
    // A text without its terminator inside the record.
    CRawCommand(9).Text(4, std::u16string(2050, u'a')).SendTo(controlee);
    CRawCommand(14).Byte(4, 1).Text(6, std::u16string(2049, u'|')).SendTo(controlee);
}

TEST_F(DispatchTest, ADetachedBrowserReceivesNothing)
{
    controlee.SetConsumer(nullptr);
    CRawCommand(5).SendTo(controlee);
    CRawCommand(10).SendTo(controlee);
}

// The host's controlee against the add-in's server role, over the real objects.
class ControleeChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(addin.Open(true));
        ASSERT_TRUE(controlee.Start());
        ASSERT_TRUE(addin.WaitForClient(kWaitMs));
    }

    void Send(const CRawCommand& command) { ASSERT_TRUE(addin.SendCommand(command.ToRecord(), kWaitMs)); }

    NsChannel::Reply Ask(int32_t code)
    {
        Send(CRawCommand(code));
        NsChannel::ReplyRecord record{};
        NsChannel::Reply reply;
        EXPECT_TRUE(addin.ReadReply(record, kWaitMs));
        EXPECT_TRUE(NsChannel::DecodeReply(record.data(), record.size(), reply));
        lastReply = record;
        return reply;
    }

    const ChannelKey key = NextKey();
    CRecordingConsumer addinSide;
    CChannelControl addin{key.processId, key.index, &addinSide};
    StrictMock<CMockBrowser> browser;
    CBrowserControlee controlee{key.processId, key.index, &browser};
    NsChannel::ReplyRecord lastReply{};
};

TEST_F(ControleeChannelTest, QueriesAreAnsweredInOrder)
{
    EXPECT_CALL(browser, CanGoBack()).WillOnce(Return(true));
    EXPECT_CALL(browser, CanGoForward()).WillOnce(Return(false));
    EXPECT_CALL(browser, GetUrl()).WillOnce(Return(L"about:blank"));

    const auto back = Ask(NsChannel::CMD_CAN_GO_BACK);
    EXPECT_EQ(back.kind, NsChannel::REPLY_CAN_GO_BACK);
    EXPECT_TRUE(back.flag);
    const auto forward = Ask(NsChannel::CMD_CAN_GO_FORWARD);
    EXPECT_EQ(forward.kind, NsChannel::REPLY_CAN_GO_FORWARD);
    EXPECT_FALSE(forward.flag);
    const auto url = Ask(NsChannel::CMD_GET_URL);
    EXPECT_EQ(url.kind, NsChannel::REPLY_URL);
    EXPECT_EQ(url.url, u"about:blank");
}

TEST_F(ControleeChannelTest, AnEmptyAddressIsAnAllZeroPayload)
{
    EXPECT_CALL(browser, GetUrl()).WillOnce(Return(std::wstring()));
    Ask(NsChannel::CMD_GET_URL);
    EXPECT_EQ(NsChannel::ReadInt32(lastReply.data()), 2);
    EXPECT_EQ(std::vector<unsigned char>(lastReply.begin() + 4, lastReply.end()),
              std::vector<unsigned char>(NsChannel::kReplyPayloadSize, 0));
}

TEST_F(ControleeChannelTest, CommandsBeforeAQueryAreHandledBeforeItsReply)
{
    InSequence order;
    EXPECT_CALL(browser, MouseClick(10, 20, true, true, 0));
    EXPECT_CALL(browser, LoadUrl(std::wstring(L"about:blank")));
    EXPECT_CALL(browser, CanGoBack()).WillOnce(Return(false));

    Send(CRawCommand(NsChannel::CMD_MOUSE_CLICK).Int(4, 10).Int(8, 20).Byte(13, 1).Byte(14, 1));
    Send(CRawCommand(NsChannel::CMD_LOAD_URL).Text(4, u"about:blank"));
    Ask(NsChannel::CMD_CAN_GO_BACK);
}

TEST_F(ControleeChannelTest, AfterCloseNoQueryIsAnswered)
{
    EXPECT_CALL(browser, Close()).WillOnce(Invoke([this] { controlee.SetConsumer(nullptr); }));
    Send(CRawCommand(NsChannel::CMD_CLOSE));
    Send(CRawCommand(NsChannel::CMD_GET_URL));
    NsChannel::ReplyRecord record{};
    EXPECT_FALSE(addin.ReadReply(record, 300));
}

TEST_F(ControleeChannelTest, FramesAndEventTextsReachTheAddin)
{
    const unsigned char pixels[4] = {1, 2, 3, 4};
    controlee.SendFrame(1, 1, pixels, sizeof pixels);
    controlee.SendBrowserEvent(L"browserCreated:");
    ASSERT_TRUE(addinSide.WaitForFrames(1, kWaitMs));
    ASSERT_TRUE(addinSide.WaitForEvents(1, kWaitMs));
    EXPECT_EQ(addinSide.Frames().front().pixels, std::vector<unsigned char>(pixels, pixels + 4));
    EXPECT_EQ(addinSide.Events().front(), L"\u00a6browserCreated:");
}

TEST(ControleeLifetime, StopEndsTheChannelAndLaterSendsDoNothing)
{
    const ChannelKey key = NextKey();
    CChannelControl addin(key.processId, key.index, nullptr);
    ASSERT_TRUE(addin.Open(true));
    StrictMock<CMockBrowser> browser;
    CBrowserControlee controlee(key.processId, key.index, &browser);
    ASSERT_TRUE(controlee.Start());
    ASSERT_TRUE(controlee.Start()) << "a second start replaces the channel";
    controlee.Stop();
    const auto eventSignal = OpenNamedEvent(ChannelObject::BrowserEventSignal, key);
    controlee.SendBrowserEvent(L"late:");
    EXPECT_FALSE(IsSignalled(eventSignal.Get()));
}

} // namespace
