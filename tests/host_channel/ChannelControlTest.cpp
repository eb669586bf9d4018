// Both channel roles in one process: names, opening, frames, event texts, pipe framing and
// replies, with the add-in's side played either by the server role or by raw objects.

#include "ChannelControl.h"
#include "ChannelTestSupport.h"
#include "ByteOrder.h"
#include "SharedBlock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

using namespace NsChannelTest;
using NsChannel::kCommandRecordSize;

namespace {

const DWORD kWaitMs = NsTestSupport::ScaledMs(5000);

std::vector<unsigned char> Record(int32_t code, size_t size = kCommandRecordSize)
{
    std::vector<unsigned char> record(size, 0);
    if (size >= 4)
        NsChannel::WriteInt32(record.data(), code);
    return record;
}

TEST(ChannelNames, AreBuiltFromGuidSuffixProcessIdAndIndex)
{
    EXPECT_EQ(CChannelControl::ObjectName(ChannelObject::Memory, 812, 0),
              L"Local\\{D670E1E0-1A37-429e-9004-7989E97E96C1}_memory_812_0");
    EXPECT_EQ(CChannelControl::ObjectName(ChannelObject::Pipe, 812, 0),
              L"\\\\.\\pipe\\{D670E1E0-1A37-429e-9004-7989E97E96C1}_pipe_C2H_812_0");
    const std::wstring guid = L"{D670E1E0-1A37-429e-9004-7989E97E96C1}";
    const std::pair<ChannelObject, std::wstring> localObjects[] = {
        {ChannelObject::BrowserEventSignal, L"_browserEvent"},
        {ChannelObject::BrowserEventMutex, L"_browserEvent_Mutex"},
        {ChannelObject::ReplySignal, L"_retData_event"},
        {ChannelObject::FrameSignal, L"_bitmapData_event"},
        {ChannelObject::FrameMutex, L"_bitmapData_Mutex"},
        {ChannelObject::Memory, L"_memory"}};
    for (const auto& [object, suffix] : localObjects)
        EXPECT_EQ(CChannelControl::ObjectName(object, 812, -2), L"Local\\" + guid + suffix + L"_812_-2");
}

TEST(ChannelNames, OnlyAKeyFromTheAddinHasAChannel)
{
    EXPECT_TRUE(CChannelControl::IsValidKey(812, 0));
    EXPECT_TRUE(CChannelControl::IsValidKey(812, -2));
    EXPECT_FALSE(CChannelControl::IsValidKey(0, 0));
    EXPECT_FALSE(CChannelControl::IsValidKey(-4, 0));
    EXPECT_FALSE(CChannelControl::IsValidKey(812, -1));
}

TEST(ChannelOpen, OpeningTwiceKeepsTheFirstObjects)
{
    const ChannelKey key = NextKey();
    CChannelControl channel(key.processId, key.index, nullptr);
    EXPECT_EQ(channel.FrameHeader(), nullptr);
    ASSERT_TRUE(channel.Open(true));
    unsigned char* header = channel.FrameHeader();
    ASSERT_NE(header, nullptr);
    EXPECT_TRUE(channel.Open(false));
    EXPECT_EQ(channel.FrameHeader(), header);
    channel.Close();
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(channel.FrameHeader(), nullptr);
}

TEST(ChannelOpen, EveryOpenEmptiesTheEventAreaAndKeepsTheFrame)
{
    const ChannelKey key = NextKey();
    CChannelControl first(key.processId, key.index, nullptr);
    ASSERT_TRUE(first.Open(false));
    const unsigned char pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    first.WriteFrame(2, 1, pixels, sizeof pixels);
    first.WriteBrowserEvent(L"loadStart:", 10);
    const CBlockView block(key);
    ASSERT_NE(block.Bytes(), nullptr);
    ASSERT_EQ(block.EventText(), u"\u00a6loadStart:");

    CChannelControl second(key.processId, key.index, nullptr);
    ASSERT_TRUE(second.Open(false));
    EXPECT_EQ(block.EventText(), u"");
    EXPECT_EQ(std::vector<unsigned char>(block.Bytes(), block.Bytes() + NsChannel::kEventAreaSize),
              std::vector<unsigned char>(NsChannel::kEventAreaSize, 0));
    EXPECT_EQ(block.FrameWidth(), 2);
    EXPECT_EQ(block.FrameHeight(), 1);
    EXPECT_EQ(std::memcmp(block.Bytes() + NsChannel::kPixelOffset, pixels, sizeof pixels), 0);
}

TEST(ChannelOpen, ClientWithoutPipeStillCarriesFramesAndEvents)
{
    const ChannelKey key = NextKey();
    CChannelControl channel(key.processId, key.index, nullptr);
    ASSERT_TRUE(channel.Open(false));
    EXPECT_TRUE(channel.WaitForReaderEnd(0)) << "no reader without a pipe";
    const auto eventSignal = OpenNamedEvent(ChannelObject::BrowserEventSignal, key);
    channel.WriteBrowserEvent(L"browserCreated:", 15);
    EXPECT_TRUE(IsSignalled(eventSignal.Get()));
}

TEST(ChannelOpen, AFailedStepReleasesWhatWasAlreadyCreated)
{
    const ChannelKey key = NextKey();
    // An event under the frame mutex's name makes creating that mutex fail.
    const NsWin32::CKernelHandle squatter(
        ::CreateEventW(nullptr, FALSE, FALSE, Name(ChannelObject::FrameMutex, key).c_str()));
    ASSERT_TRUE(squatter);
    CChannelControl channel(key.processId, key.index, nullptr);
    EXPECT_FALSE(channel.Open(false));
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_FALSE(OpenNamedEvent(ChannelObject::BrowserEventSignal, key)) << "the events made before were closed";
    EXPECT_FALSE(OpenNamedMutex(ChannelObject::BrowserEventMutex, key));
}

TEST(ChannelOpen, ABlockCreatedSmallerCannotBeOpened)
{
    const ChannelKey key = NextKey();
    const NsWin32::CKernelHandle small(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                                            Name(ChannelObject::Memory, key).c_str()));
    ASSERT_TRUE(small);
    CChannelControl channel(key.processId, key.index, nullptr);
    EXPECT_FALSE(channel.Open(false));
}

class ChannelFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(channel.Open(false));
        blockView.emplace(key);
        ASSERT_NE(blockView->Bytes(), nullptr);
        frameSignal = OpenNamedEvent(ChannelObject::FrameSignal, key);
        ASSERT_TRUE(frameSignal);
    }

    const CBlockView& block() const { return *blockView; }

    const ChannelKey key = NextKey();
    CChannelControl channel{key.processId, key.index, nullptr};
    std::optional<CBlockView> blockView;
    NsWin32::CKernelHandle frameSignal;
};

TEST_F(ChannelFrameTest, ALargestFrameIsWrittenAndALargerOneDropped)
{
    std::vector<unsigned char> pixels(NsChannel::kPixelCapacity + 4, 0xAB);
    channel.WriteFrame(1920, 1080, pixels.data(), static_cast<uint32_t>(NsChannel::kPixelCapacity));
    EXPECT_TRUE(IsSignalled(frameSignal.Get()));
    EXPECT_EQ(block().FrameWidth(), 1920);
    EXPECT_EQ(block().Bytes()[NsChannel::kBlockSize - 1], 0xAB);

    std::fill(pixels.begin(), pixels.end(), 0xCD);
    channel.WriteFrame(1921, 1080, pixels.data(), static_cast<uint32_t>(pixels.size()));
    EXPECT_FALSE(IsSignalled(frameSignal.Get()));
    // A header that promises more than the pixels given, or a negative size, is no frame.
    channel.WriteFrame(2, 2, pixels.data(), 15);
    channel.WriteFrame(-1, -1, pixels.data(), 4);
    EXPECT_FALSE(IsSignalled(frameSignal.Get()));
    EXPECT_EQ(block().FrameWidth(), 1920);
    EXPECT_EQ(block().Bytes()[NsChannel::kPixelOffset], 0xAB);
}

TEST_F(ChannelFrameTest, AHeldMutexDropsTheFrameAfterHalfASecond)
{
    CMutexHolder addin(ChannelObject::FrameMutex, key);
    const unsigned char pixels[4] = {9, 9, 9, 9};
    // A timed wait never ends early, so the lower bound holds on any machine; how soon after
    // its half second the write gives up depends on the machine, and is not asserted.
    const DWORD start = ::GetTickCount();
    channel.WriteFrame(1, 1, pixels, sizeof pixels);
    EXPECT_GE(::GetTickCount() - start, 450u);
    EXPECT_FALSE(IsSignalled(frameSignal.Get()));
    EXPECT_NE(block().FrameWidth(), 1);

    addin.Release();
    channel.WriteFrame(1, 1, pixels, sizeof pixels);
    EXPECT_TRUE(IsSignalled(frameSignal.Get()));
    EXPECT_EQ(block().FrameWidth(), 1);
}

TEST_F(ChannelFrameTest, AnAbandonedMutexIsTakenOverAndReleased)
{
    CMutexHolder addin(ChannelObject::FrameMutex, key);
    addin.EndWithoutRelease();
    const unsigned char pixels[4] = {7, 7, 7, 7};
    channel.WriteFrame(1, 1, pixels, sizeof pixels);
    EXPECT_TRUE(IsSignalled(frameSignal.Get()));
    EXPECT_EQ(block().Bytes()[NsChannel::kPixelOffset], 7);
    const auto mutex = OpenNamedMutex(ChannelObject::FrameMutex, key);
    EXPECT_TRUE(IsMutexFree(mutex.Get())) << "the writer must not keep the mutex it took over";
}

TEST(ChannelEvents, TextsAccumulateUntilTheAddinEmptiesTheArea)
{
    const ChannelKey key = NextKey();
    CChannelControl channel(key.processId, key.index, nullptr);
    ASSERT_TRUE(channel.Open(false));
    const CBlockView block(key);
    const auto signal = OpenNamedEvent(ChannelObject::BrowserEventSignal, key);

    channel.WriteBrowserEvent(L"A:", 2);
    EXPECT_TRUE(IsSignalled(signal.Get()));
    channel.WriteBrowserEvent(L"B:", 2);
    EXPECT_TRUE(IsSignalled(signal.Get()));
    EXPECT_EQ(block.EventText(), u"\u00a6A:\u00a6B:");

    std::memset(block.Bytes(), 0, NsChannel::kEventAreaSize);
    channel.WriteBrowserEvent(L"C:", 2);
    EXPECT_EQ(block.EventText(), u"\u00a6C:");
}

TEST(ChannelServer, HandsFramesAndEventTextsToItsConsumer)
{
    const ChannelKey key = NextKey();
    CRecordingConsumer addin;
    CChannelControl server(key.processId, key.index, &addin);
    ASSERT_TRUE(server.Open(true));
    CChannelControl host(key.processId, key.index, nullptr);
    ASSERT_TRUE(host.Open(false));
    EXPECT_TRUE(server.WaitForClient(kWaitMs));

    const unsigned char pixels[8] = {10, 20, 30, 255, 40, 50, 60, 255};
    host.WriteFrame(2, 1, pixels, sizeof pixels);
    ASSERT_TRUE(addin.WaitForFrames(1, kWaitMs));
    const auto frame = addin.Frames().front();
    EXPECT_EQ(frame.width, 2);
    EXPECT_EQ(frame.height, 1);
    EXPECT_EQ(frame.pixels, std::vector<unsigned char>(pixels, pixels + 8));

    host.WriteBrowserEvent(L"address:about:blank", 19);
    ASSERT_TRUE(addin.WaitForEvents(1, kWaitMs));
    EXPECT_EQ(addin.Events().front(), L"\u00a6address:about:blank");
    const CBlockView block(key);
    EXPECT_EQ(block.EventText(), u"") << "the server empties the area after handing it on";
}

TEST(ChannelServer, ReplacingThePipeNeedsTheTerminateFlag)
{
    const ChannelKey key = NextKey();
    CChannelControl server(key.processId, key.index, nullptr);
    ASSERT_TRUE(server.Open(true));
    EXPECT_FALSE(server.CreatePipeServer(false));
    EXPECT_TRUE(server.CreatePipeServer(true));
    CChannelControl host(key.processId, key.index, nullptr);
    ASSERT_TRUE(host.Open(false));
    EXPECT_TRUE(server.WaitForClient(kWaitMs));
    EXPECT_FALSE(host.WaitForReaderEnd(0));
}

class ChannelPipeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(addin.IsValid());
        ASSERT_TRUE(host.Open(false));
        ASSERT_FALSE(host.WaitForReaderEnd(0)) << "the reader runs once the pipe was there";
    }

    const ChannelKey key = NextKey();
    CRawPipeServer addin{key};
    CRecordingConsumer received;
    CChannelControl host{key.processId, key.index, &received};
};

TEST_F(ChannelPipeTest, ZeroAndNegativeLengthsAreSkippedAsFourBytes)
{
    ASSERT_TRUE(addin.WriteLength(0));
    ASSERT_TRUE(addin.WriteLength(-7));
    ASSERT_TRUE(addin.WriteRecord(Record(5)));
    ASSERT_TRUE(received.WaitForRecords(1, kWaitMs));
    EXPECT_EQ(received.Records().front(), Record(5));
}

TEST_F(ChannelPipeTest, ShortRecordsAreReadInFullAndTheStreamStaysInStep)
{
    ASSERT_TRUE(addin.WriteRecord(Record(2, 10)));
    ASSERT_TRUE(addin.WriteRecord(Record(15)));
    ASSERT_TRUE(received.WaitForRecords(2, kWaitMs));
    EXPECT_EQ(received.Records()[0].size(), 10u);
    EXPECT_EQ(received.Records()[1], Record(15));
}

TEST_F(ChannelPipeTest, OversizedLengthsAreDroppedWithoutReadingTheirBytesAsRecords)
{
    // The oversized body is itself full of well-formed messages, none of which may surface.
    std::vector<unsigned char> body;
    while (body.size() < 100000) {
        unsigned char prefix[4];
        NsChannel::WriteInt32(prefix, static_cast<int32_t>(kCommandRecordSize));
        body.insert(body.end(), prefix, prefix + 4);
        const auto record = Record(7);
        body.insert(body.end(), record.begin(), record.end());
    }
    ASSERT_TRUE(addin.WriteLength(static_cast<int32_t>(body.size())));
    for (size_t at = 0; at < body.size(); at += 8192)
        ASSERT_TRUE(addin.Write(body.data() + at, static_cast<DWORD>(std::min<size_t>(8192, body.size() - at))));
    ASSERT_TRUE(addin.WriteRecord(Record(3)));
    ASSERT_TRUE(received.WaitForRecords(1, kWaitMs));
    EXPECT_EQ(received.Records().front(), Record(3));
    EXPECT_EQ(received.Records().size(), 1u);
}

TEST_F(ChannelPipeTest, APipeClosedMidRecordEndsTheReaderWithoutHandingAnythingOn)
{
    const auto record = Record(9);
    ASSERT_TRUE(addin.WriteLength(static_cast<int32_t>(record.size())));
    ASSERT_TRUE(addin.Write(record.data(), 100));
    addin.Close();
    EXPECT_TRUE(host.WaitForReaderEnd(kWaitMs));
    EXPECT_TRUE(received.Records().empty());
}

TEST_F(ChannelPipeTest, CloseEndsAReaderThatWaitsForData)
{
    host.Close();
    EXPECT_TRUE(host.WaitForReaderEnd(0));
    EXPECT_TRUE(received.Records().empty());
}

TEST_F(ChannelPipeTest, AReplyIsItsLengthAndRecordThenTheSignal)
{
    const auto replySignal = OpenNamedEvent(ChannelObject::ReplySignal, key);
    NsChannel::ReplyRecord reply{};
    for (size_t i = 0; i < reply.size(); ++i)
        reply[i] = static_cast<unsigned char>(i * 7);
    host.WriteReply(reply);
    EXPECT_TRUE(IsSignalled(replySignal.Get()));
    unsigned char prefix[4];
    ASSERT_TRUE(addin.Read(prefix, 4));
    EXPECT_EQ(NsChannel::ReadInt32(prefix), 4172);
    NsChannel::ReplyRecord read{};
    ASSERT_TRUE(addin.Read(read.data(), static_cast<DWORD>(read.size())));
    EXPECT_EQ(read, reply);
}

TEST_F(ChannelPipeTest, AClosedChannelWritesNothing)
{
    const auto replySignal = OpenNamedEvent(ChannelObject::ReplySignal, key);
    const auto eventSignal = OpenNamedEvent(ChannelObject::BrowserEventSignal, key);
    host.Close();
    host.WriteReply(NsChannel::EncodeFlagReply(NsChannel::REPLY_CAN_GO_BACK, true));
    host.WriteBrowserEvent(L"late:", 5);
    const unsigned char pixels[4] = {};
    host.WriteFrame(1, 1, pixels, 4);
    EXPECT_FALSE(IsSignalled(replySignal.Get()));
    EXPECT_FALSE(IsSignalled(eventSignal.Get()));
    EXPECT_FALSE(addin.HasUnreadData());
}

} // namespace
