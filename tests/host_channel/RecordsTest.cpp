// Wire formats: command and reply records, the path list, the event area, the frame header.

#include "ByteOrder.h"
#include "CommandRecord.h"
#include "SharedBlock.h"

#include <gtest/gtest.h>

#include <vector>

using namespace NsChannel;

namespace {

std::vector<uint8_t> RecordWithCode(int32_t code, size_t size = kCommandRecordSize)
{
    std::vector<uint8_t> record(size, 0);
    WriteInt32(record.data(), code);
    return record;
}

void PutText(std::vector<uint8_t>& record, size_t offset, const std::u16string& text)
{
    for (size_t i = 0; i < text.size(); ++i)
        WriteUnit(record.data() + offset + 2 * i, text[i]);
}

std::u16string Units(size_t count, char16_t unit = u'x')
{
    return std::u16string(count, unit);
}

TEST(CommandRecord, RecordsOfAnotherLengthOrCodeAreRejected)
{
    Command command;
    EXPECT_FALSE(DecodeCommand(RecordWithCode(CMD_GO_BACK, 4103).data(), 4103, command));
    EXPECT_FALSE(DecodeCommand(RecordWithCode(CMD_GO_BACK, 4105).data(), 4105, command));
    EXPECT_FALSE(DecodeCommand(RecordWithCode(16).data(), kCommandRecordSize, command));
    EXPECT_FALSE(DecodeCommand(RecordWithCode(-1).data(), kCommandRecordSize, command));
    EXPECT_FALSE(DecodeCommand(nullptr, kCommandRecordSize, command));
    EXPECT_TRUE(DecodeCommand(RecordWithCode(CMD_CLOSE).data(), kCommandRecordSize, command));
    EXPECT_EQ(command.code, CMD_CLOSE);
}

TEST(CommandRecord, TextsUseTheWholeRecordButNeverRunPastIt)
{
    Command command;
    // At offset 4 a text may hold 2,049 units before its terminator, at offset 6 2,048.
    auto url = RecordWithCode(CMD_LOAD_URL);
    PutText(url, 4, Units(2049));
    ASSERT_TRUE(DecodeCommand(url.data(), url.size(), command));
    EXPECT_EQ(command.text, Units(2049));
    PutText(url, 4, Units(2050));
    EXPECT_FALSE(DecodeCommand(url.data(), url.size(), command)) << "no terminator inside the record";

    auto input = RecordWithCode(CMD_JS_DIALOG_REPLY);
    PutText(input, 6, Units(2048));
    ASSERT_TRUE(DecodeCommand(input.data(), input.size(), command));
    EXPECT_EQ(command.text.size(), 2048u);
    PutText(input, 6, Units(2049));
    EXPECT_FALSE(DecodeCommand(input.data(), input.size(), command));
}

TEST(CommandRecord, EveryCodeSurvivesEncodingAndDecoding)
{
    Command move;
    move.code = CMD_MOUSE_MOVE;
    move.x = -5;
    move.y = 70000;
    move.moveFlag = true;
    move.modifiers = 0x40;
    Command wheel;
    wheel.code = CMD_MOUSE_WHEEL;
    wheel.x = 1;
    wheel.y = 2;
    wheel.deltaX = -120;
    wheel.deltaY = 240;
    wheel.modifiers = 4;
    Command click;
    click.code = CMD_MOUSE_CLICK;
    click.x = 799;
    click.y = 599;
    click.leftButton = true;
    click.buttonDown = true;
    click.modifiers = 2;
    Command key;
    key.code = CMD_KEY;
    key.keyCode = 0x41;
    key.keyUp = true;
    key.systemKey = true;
    key.spare = true;
    Command resize;
    resize.code = CMD_RESIZE;
    resize.width = 1920;
    resize.height = 1080;
    Command script;
    script.code = CMD_EXECUTE_SCRIPT;
    script.text = u"document.title = '\u00e9t\u00e9'";
    Command files;
    files.code = CMD_FILE_DIALOG_REPLY;
    files.answer = true;
    files.text = JoinPathList({u"C:\\a.png", u"D:\\b c.jpg"});

    for (const Command& original : {move, wheel, click, key, resize, script, files}) {
        CommandRecord record;
        ASSERT_TRUE(EncodeCommand(original, record)) << original.code;
        Command decoded;
        ASSERT_TRUE(DecodeCommand(record.data(), record.size(), decoded)) << original.code;
        EXPECT_EQ(decoded.code, original.code);
        EXPECT_EQ(decoded.x, original.x);
        EXPECT_EQ(decoded.y, original.y);
        EXPECT_EQ(decoded.deltaX, original.deltaX);
        EXPECT_EQ(decoded.deltaY, original.deltaY);
        EXPECT_EQ(decoded.modifiers, original.modifiers);
        EXPECT_EQ(decoded.moveFlag, original.moveFlag);
        EXPECT_EQ(decoded.leftButton, original.leftButton);
        EXPECT_EQ(decoded.buttonDown, original.buttonDown);
        EXPECT_EQ(decoded.keyCode, original.keyCode);
        EXPECT_EQ(decoded.keyUp, original.keyUp);
        EXPECT_EQ(decoded.systemKey, original.systemKey);
        EXPECT_EQ(decoded.spare, original.spare);
        EXPECT_EQ(decoded.width, original.width);
        EXPECT_EQ(decoded.height, original.height);
        EXPECT_EQ(decoded.answer, original.answer);
        EXPECT_EQ(decoded.text, original.text);
    }
}

TEST(CommandRecord, TextsThatCannotTravelAreNotEncoded)
{
    Command command;
    command.code = CMD_LOAD_URL;
    CommandRecord record;
    command.text = Units(2050);
    EXPECT_FALSE(EncodeCommand(command, record));
    command.text.assign(u"a\0b", 3);
    EXPECT_FALSE(EncodeCommand(command, record));
    command.code = static_cast<CommandCode>(16);
    command.text.clear();
    EXPECT_FALSE(EncodeCommand(command, record));
}

TEST(PathList, EmptyTokensNeverBecomePaths)
{
    using Paths = std::vector<std::u16string>;
    EXPECT_EQ(SplitPathList(u"|C:\\a.txt||D:\\b.txt|"), (Paths{u"C:\\a.txt", u"D:\\b.txt"}));
    EXPECT_EQ(SplitPathList(u""), Paths{});
    EXPECT_EQ(SplitPathList(u"|||"), Paths{});
    EXPECT_EQ(SplitPathList(u"only"), Paths{u"only"});
    EXPECT_EQ(JoinPathList({u"a", u"b"}), u"a|b");
}

TEST(ReplyRecord, FlagRepliesCarryOneByteAndZeros)
{
    const ReplyRecord yes = EncodeFlagReply(REPLY_CAN_GO_FORWARD, true);
    std::vector<uint8_t> expected(kReplyRecordSize, 0);
    expected[0] = 1;
    expected[4] = 1;
    EXPECT_EQ(std::vector<uint8_t>(yes.begin(), yes.end()), expected);

    Reply reply;
    ASSERT_TRUE(DecodeReply(yes.data(), yes.size(), reply));
    EXPECT_EQ(reply.kind, REPLY_CAN_GO_FORWARD);
    EXPECT_TRUE(reply.flag);
    const ReplyRecord no = EncodeFlagReply(REPLY_CAN_GO_BACK, false);
    EXPECT_EQ(std::vector<uint8_t>(no.begin(), no.end()), std::vector<uint8_t>(kReplyRecordSize, 0));
}

TEST(ReplyRecord, AddressIsCutTerminatedAndZeroPadded)
{
    const ReplyRecord empty = EncodeUrlReply(u"");
    EXPECT_EQ(ReadInt32(empty.data()), REPLY_URL);
    EXPECT_EQ(std::vector<uint8_t>(empty.begin() + 4, empty.end()), std::vector<uint8_t>(kReplyPayloadSize, 0));

    const ReplyRecord shortUrl = EncodeUrlReply(u"about:blank");
    EXPECT_EQ(ReadUnit(shortUrl.data() + 4), u'a');
    EXPECT_EQ(std::vector<uint8_t>(shortUrl.begin() + 4 + 22, shortUrl.end()),
              std::vector<uint8_t>(kReplyPayloadSize - 22, 0));

    const ReplyRecord longUrl = EncodeUrlReply(Units(3000, u'u'));
    EXPECT_EQ(ReadUnit(longUrl.data() + 4 + 2 * 2082), u'u');
    EXPECT_EQ(ReadUnit(longUrl.data() + 4 + 2 * 2083), 0) << "the last unit of the field is the terminator";
    Reply reply;
    ASSERT_TRUE(DecodeReply(longUrl.data(), longUrl.size(), reply));
    EXPECT_EQ(reply.url, Units(2083, u'u'));
}

TEST(ReplyRecord, UnknownKindsAndLengthsAreRejected)
{
    Reply reply;
    ReplyRecord record = EncodeFlagReply(REPLY_CAN_GO_BACK, true);
    EXPECT_FALSE(DecodeReply(record.data(), record.size() - 1, reply));
    WriteInt32(record.data(), 3);
    EXPECT_FALSE(DecodeReply(record.data(), record.size(), reply));
}

class EventAreaTest : public ::testing::Test {
protected:
    std::vector<uint8_t> area = std::vector<uint8_t>(kEventAreaSize, 0);
};

TEST_F(EventAreaTest, TextsAreAppendedBehindSeparators)
{
    AppendEventText(area.data(), u"loadStart:");
    AppendEventText(area.data(), u"loadEnd:200");
    EXPECT_EQ(ReadEventArea(area.data()), u"\u00a6loadStart:\u00a6loadEnd:200");
    EXPECT_EQ(ReadUnit(area.data() + 2 * 23), 0);
    EXPECT_EQ(SplitEventTexts(ReadEventArea(area.data())),
              (std::vector<std::u16string>{u"loadStart:", u"loadEnd:200"}));
}

TEST_F(EventAreaTest, AFullAreaHoldsNoTerminatorAndTakesNothingMore)
{
    AppendEventText(area.data(), Units(3000, u'e'));
    EXPECT_EQ(EventAreaTextLength(area.data()), kEventAreaUnits);
    EXPECT_EQ(ReadUnit(area.data()), kEventSeparator);
    EXPECT_EQ(ReadEventArea(area.data()).substr(1), Units(2047, u'e'));
    const std::vector<uint8_t> full = area;
    AppendEventText(area.data(), u"address:x");
    EXPECT_EQ(area, full);
}

TEST_F(EventAreaTest, AnEmptiedAreaStartsOverAndATextEndsAtItsNul)
{
    AppendEventText(area.data(), u"first:");
    std::fill(area.begin(), area.end(), 0);
    AppendEventText(area.data(), std::u16string(u"JSDispatch:a\0b", 14));
    EXPECT_EQ(ReadEventArea(area.data()), u"\u00a6JSDispatch:a");
}

TEST_F(EventAreaTest, OldTextBehindTheStartIsCutOffByTheTerminator)
{
    AppendEventText(area.data(), u"address:https://example.test/long");
    WriteUnit(area.data(), 0); // an add-in that clears only the first code unit
    AppendEventText(area.data(), u"loadEnd:200");
    EXPECT_EQ(ReadEventArea(area.data()), u"\u00a6loadEnd:200");
}

TEST_F(EventAreaTest, ACutNeverSplitsASurrogatePair)
{
    // The separator and 2,046 units leave room for one unit: not enough for the pair.
    AppendEventText(area.data(), Units(2046, u'e') + u"\U0001F600");
    const std::u16string cut = ReadEventArea(area.data());
    EXPECT_EQ(cut.size(), kEventAreaUnits - 1);
    EXPECT_EQ(cut.back(), u'e');

    // A pair that fits whole is kept, and so is a lone surrogate the page itself sent.
    std::fill(area.begin(), area.end(), 0);
    AppendEventText(area.data(), Units(2045, u'e') + u"\U0001F600");
    EXPECT_EQ(ReadEventArea(area.data()).substr(2046), u"\U0001F600");
    std::fill(area.begin(), area.end(), 0);
    AppendEventText(area.data(), Units(2046, u'e') + u"\xD83Dx");
    EXPECT_EQ(ReadEventArea(area.data()).back(), u'\xD83D');
}

TEST(EventTexts, SplittingKeepsEmptyTextsAndToleratesAMissingLeadingSeparator)
{
    using Texts = std::vector<std::u16string>;
    EXPECT_EQ(SplitEventTexts(u""), Texts{});
    EXPECT_EQ(SplitEventTexts(u"\u00a6"), Texts{u""});
    EXPECT_EQ(SplitEventTexts(u"\u00a6a:\u00a6\u00a6b:"), (Texts{u"a:", u"", u"b:"}));
    EXPECT_EQ(SplitEventTexts(u"x\u00a6y"), (Texts{u"x", u"y"}));
}

TEST(FrameHeader, SizesMustFitWhatFollowsTheHeader)
{
    std::vector<uint8_t> header(8);
    FrameInfo frame;
    WriteInt32(header.data(), 1920);
    WriteInt32(header.data() + 4, 1080);
    ASSERT_TRUE(ReadFrameHeader(header.data(), kBlockSize - kFrameHeaderOffset, frame));
    EXPECT_EQ(frame.pixelBytes, kPixelCapacity);
    WriteInt32(header.data() + 4, 1081);
    EXPECT_FALSE(ReadFrameHeader(header.data(), kBlockSize - kFrameHeaderOffset, frame));
    WriteInt32(header.data(), -1);
    WriteInt32(header.data() + 4, -1);
    EXPECT_FALSE(ReadFrameHeader(header.data(), kBlockSize - kFrameHeaderOffset, frame)) << "-1 × -1 is positive";
    WriteInt32(header.data(), 0x7fffffff);
    WriteInt32(header.data() + 4, 0x7fffffff);
    EXPECT_FALSE(ReadFrameHeader(header.data(), kBlockSize - kFrameHeaderOffset, frame));
    EXPECT_FALSE(ReadFrameHeader(header.data(), 7, frame));
}

} // namespace
