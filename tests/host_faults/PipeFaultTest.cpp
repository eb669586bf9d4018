// Hostile and broken input on the command pipe: lengths that are empty, negative, a byte off,
// beyond any record, or 2 GB; a pipe closed in the middle of a length or a record; random
// records and random bytes. The host must neither crash nor spin, must never act on bytes
// that belong to another record, and must answer the next well-formed query in step.

#include "FaultSupport.h"

#include "ByteOrder.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace NsFaultTest;
using NsChannel::Command;
using NsHostTest::CChildProcess;
using NsHostTest::CEngineControl;
using NsHostTest::DecodeJournalText;
using NsHostTest::Field;
using NsHostTest::HostArguments;
using NsHostTest::HostPath;
using NsHostTest::LoadUrlCommand;
using NsHostTest::MakeCommand;

namespace {

const std::wstring kPage = L"http://pagehull.test/pipe";
constexpr DWORD kIdleWindowMs = 1000;

std::wstring Forbidden(const std::string& tag)
{
    return L"http://pagehull.test/forbidden/" + std::wstring(tag.begin(), tag.end());
}

std::wstring Allowed(const std::string& tag)
{
    return L"http://pagehull.test/allowed/" + std::wstring(tag.begin(), tag.end());
}

// `length` bytes made of well-formed framed commands (loads of forbidden addresses and
// queries), cut wherever the length ends: if the host read any of them as a record of its
// own, it would load or answer.
std::vector<unsigned char> DecoyBody(size_t length, const std::string& tag)
{
    const std::vector<unsigned char> load = FramedCommand(LoadUrlCommand(Forbidden(tag)));
    const std::vector<unsigned char> query = FramedCommand(MakeCommand(NsChannel::CMD_GET_URL));
    std::vector<unsigned char> body;
    body.reserve(length + load.size());
    while (body.size() < length) {
        body.insert(body.end(), load.begin(), load.end());
        body.insert(body.end(), query.begin(), query.end());
    }
    body.resize(length);
    return body;
}

class PipeFaults : public ::testing::Test {
protected:
    PipeFaults()
        : index(NextIndex()),
          addin(addinProcess.Id(), index),
          host(HostPath(), HostArguments(addinProcess.Id(), index, kPage)),
          engine(host)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(addin.IsOpen());
        ASSERT_TRUE(addin.WaitForHost(host.Handle()));
        ASSERT_TRUE(engine.IsConnected());
        ASSERT_TRUE(addin.WaitForEvent(u"loadEnd:200"));
        journalStart = engine.Mark();
    }

    // Two queries of different kinds come back in order with the right content: the stream
    // is in step, and nothing before them produced a reply of its own.
    ::testing::AssertionResult InStep()
    {
        const std::optional<std::wstring> url = addin.QueryUrl();
        if (!url)
            return ::testing::AssertionFailure() << "no address reply";
        if (!addin.Send(MakeCommand(NsChannel::CMD_CAN_GO_FORWARD)))
            return ::testing::AssertionFailure() << "query not sent";
        const std::optional<NsChannel::Reply> forward = addin.ReadReply();
        if (!forward || forward->kind != NsChannel::REPLY_CAN_GO_FORWARD || forward->flag)
            return ::testing::AssertionFailure() << "the reply to can-go-forward is out of step";
        return ::testing::AssertionSuccess();
    }

    // The addresses the host has asked CEF to load since the test began, in order.
    std::vector<std::wstring> LoadedAddresses()
    {
        std::vector<std::wstring> loads;
        for (const std::string& line : engine.JournalSince(journalStart)) {
            if (line.rfind("call LoadURL ", 0) == 0) {
                const std::string url = DecodeJournalText(Field(line, "url"));
                loads.emplace_back(url.begin(), url.end());
            }
        }
        return loads;
    }

    // Once the pipe is gone, the host goes on publishing what the page does.
    ::testing::AssertionResult StillPublishes()
    {
        const std::optional<std::string> answer = engine.Request("call addinTrace s:still-here");
        if (!answer || answer->rfind("ok", 0) != 0)
            return ::testing::AssertionFailure() << "page script failed: " << answer.value_or("pipe broken");
        if (!addin.WaitForEvent(u"addinTrace:still-here"))
            return ::testing::AssertionFailure() << "no event after the pipe closed";
        return ::testing::AssertionSuccess();
    }

    // The add-in's end closes the host through its watch.
    ::testing::AssertionResult ClosesWithTheAddin()
    {
        addinProcess.Kill();
        const std::optional<DWORD> exitCode = host.WaitForExit();
        if (exitCode != kExitBrowserClosed)
            return ::testing::AssertionFailure() << "exit code " << (exitCode ? std::to_string(*exitCode) : "none");
        return ::testing::AssertionSuccess();
    }

    int32_t index;
    CAddinProcess addinProcess;
    CManualAddin addin;
    CChildProcess host;
    CEngineControl engine;
    std::string journalStart;
};

} // namespace

TEST_F(PipeFaults, EmptyAndNegativeLengthsAreSkippedAsFourBytes)
{
    for (const int32_t length : {0, -1, INT_MIN})
        ASSERT_TRUE(addin.WriteLength(length));
    // Several in one write, the command right behind them.
    std::vector<unsigned char> stream = Framed(0, nullptr, 0);
    const std::vector<unsigned char> negative = Framed(-4104, nullptr, 0);
    const std::vector<unsigned char> load = FramedCommand(LoadUrlCommand(Allowed("behind-empty")));
    stream.insert(stream.end(), negative.begin(), negative.end());
    stream.insert(stream.end(), load.begin(), load.end());
    ASSERT_TRUE(addin.Write(stream.data(), stream.size()));

    EXPECT_TRUE(InStep());
    EXPECT_EQ(LoadedAddresses(), std::vector<std::wstring>{Allowed("behind-empty")});
    EXPECT_TRUE(StaysIdle(host, kIdleWindowMs));
}

TEST_F(PipeFaults, RecordsOfEveryOtherLengthAreReadWholeAndIgnored)
{
    // A byte short of a command, a byte over, a multiple, the largest length the reader still
    // reads into a buffer, the first it drops unread, and a megabyte.
    const std::vector<int32_t> lengths = {1, 10, 4103, 4105, 8208, 65536, 65537, 1000000};
    std::vector<std::wstring> allowed;
    for (const int32_t length : lengths) {
        const std::string tag = std::to_string(length);
        const std::vector<unsigned char> body = DecoyBody(static_cast<size_t>(length), tag);
        ASSERT_TRUE(addin.WriteLength(length));
        ASSERT_TRUE(addin.Write(body.data(), body.size()));
        allowed.push_back(Allowed(tag));
        ASSERT_TRUE(addin.Send(LoadUrlCommand(allowed.back())));
        EXPECT_TRUE(InStep()) << "after a record of " << length << " bytes";
    }
    EXPECT_EQ(LoadedAddresses(), allowed);
    EXPECT_TRUE(StaysIdle(host, kIdleWindowMs));
    EXPECT_TRUE(ClosesWithTheAddin());
}

TEST_F(PipeFaults, ALengthOf2GBSwallowsWhatFollowsWithoutAllocatingOrSpinning)
{
    const CProcessCounters before = ReadCounters(host.Handle(), host.Id());
    ASSERT_TRUE(addin.WriteLength(INT_MAX));
    // Everything after it belongs to that record, however well-formed it looks.
    const std::vector<unsigned char> decoys = DecoyBody(Scaled(64, 8) << 20, "swallowed");
    for (size_t at = 0; at < decoys.size(); at += 65536)
        ASSERT_TRUE(addin.Write(decoys.data() + at, 65536));
    EXPECT_FALSE(addin.ReadReply(kIdleWindowMs)) << "a query inside the record was answered";
    EXPECT_TRUE(StaysIdle(host, kIdleWindowMs));
    const CProcessCounters after = ReadCounters(host.Handle(), host.Id());
    EXPECT_LT(after.privateBytes, before.privateBytes + (8u << 20))
        << "before: " << Describe(before) << "; after: " << Describe(after);

    // The add-in gives up on the pipe: the reader ends, nothing half-read is handed on.
    addin.ClosePipe();
    EXPECT_TRUE(StaysIdle(host, kIdleWindowMs));
    EXPECT_TRUE(StillPublishes());
    EXPECT_TRUE(LoadedAddresses().empty());
    EXPECT_TRUE(ClosesWithTheAddin());
}

TEST_F(PipeFaults, APipeClosedInsideALengthEndsOnlyTheReader)
{
    const std::vector<unsigned char> load = FramedCommand(LoadUrlCommand(Forbidden("cut-length")));
    ASSERT_TRUE(addin.Write(load.data(), 2));
    addin.ClosePipe();
    EXPECT_TRUE(StaysIdle(host, kIdleWindowMs));
    EXPECT_TRUE(StillPublishes());
    EXPECT_TRUE(LoadedAddresses().empty());
    EXPECT_TRUE(ClosesWithTheAddin());
}

TEST_F(PipeFaults, APipeClosedInsideARecordEndsOnlyTheReader)
{
    const std::vector<unsigned char> load = FramedCommand(LoadUrlCommand(Forbidden("cut-record")));
    ASSERT_TRUE(addin.Write(load.data(), 2000));
    addin.ClosePipe();
    EXPECT_TRUE(StaysIdle(host, kIdleWindowMs));
    EXPECT_TRUE(StillPublishes());
    EXPECT_TRUE(LoadedAddresses().empty());
    EXPECT_TRUE(ClosesWithTheAddin());
}

namespace {

// Codes whose effect leaves the address and the history alone, so that the queries between
// them have one right answer; and codes outside the protocol.
const int32_t kRandomCodes[] = {NsChannel::CMD_MOUSE_MOVE,
                                NsChannel::CMD_MOUSE_WHEEL,
                                NsChannel::CMD_MOUSE_CLICK,
                                NsChannel::CMD_FOCUS,
                                NsChannel::CMD_KEY,
                                NsChannel::CMD_RESIZE,
                                NsChannel::CMD_EXECUTE_SCRIPT,
                                NsChannel::CMD_JS_DIALOG_REPLY,
                                NsChannel::CMD_FILE_DIALOG_REPLY,
                                16,
                                -1,
                                INT_MIN,
                                INT_MAX};

// A record of the right length with a random code from the list above and random fields; a
// resize stays small so that painting does not dominate the run.
NsChannel::CommandRecord RandomRecord(std::mt19937& random)
{
    NsChannel::CommandRecord record;
    std::uniform_int_distribution<int> byte(0, 255);
    for (unsigned char& b : record)
        b = static_cast<unsigned char>(byte(random));
    const int32_t code = kRandomCodes[std::uniform_int_distribution<size_t>(0, std::size(kRandomCodes) - 1)(random)];
    NsChannel::WriteInt32(record.data(), code);
    if (code == NsChannel::CMD_RESIZE) {
        std::uniform_int_distribution<int32_t> side(-50, 400);
        NsChannel::WriteInt32(record.data() + 4, side(random));
        NsChannel::WriteInt32(record.data() + 8, side(random));
    }
    return record;
}

} // namespace

TEST_F(PipeFaults, RandomRecordsThenRandomBytesNeitherCrashNorDerailTheHost)
{
    std::mt19937 random(20261207);
    const size_t records = Scaled(20000, 2000);
    for (size_t i = 1; i <= records; ++i) {
        const NsChannel::CommandRecord record = RandomRecord(random);
        const std::vector<unsigned char> framed =
            Framed(static_cast<int32_t>(record.size()), record.data(), record.size());
        ASSERT_TRUE(addin.Write(framed.data(), framed.size()));
        if (i % 500 == 0) {
            ASSERT_TRUE(InStep()) << "after " << i << " random records";
        }
    }
    EXPECT_EQ(addin.QueryUrl(), kPage);
    EXPECT_TRUE(LoadedAddresses().empty());

    // Random bytes: random lengths as well, which may swallow everything after them.
    std::uniform_int_distribution<size_t> chunkSize(1, 8192);
    std::uniform_int_distribution<int> byte(0, 255);
    const size_t chunks = Scaled(2000, 200);
    for (size_t i = 0; i < chunks; ++i) {
        std::vector<unsigned char> chunk(chunkSize(random));
        for (unsigned char& b : chunk)
            b = static_cast<unsigned char>(byte(random));
        ASSERT_TRUE(addin.Write(chunk.data(), chunk.size()));
    }
    addin.ClosePipe();
    // The page's event comes after the paints the records queued, so the idle time that
    // follows is the host's own.
    EXPECT_TRUE(StillPublishes());
    EXPECT_TRUE(StaysIdle(host, kIdleWindowMs));
    EXPECT_TRUE(ClosesWithTheAddin());
}

// The view takes any size the add-in asks for; the channel drops frames that do not fit its block.
TEST_F(PipeFaults, AViewTooLargeForTheBlockLeavesTheLastFrameInPlace)
{
    ASSERT_TRUE(addin.TakeFrame(kTimeoutMs));
    // With a popup shown, the view and the frame are two bitmaps of the view's size.
    ASSERT_TRUE(engine.Request("popup-widget show 10 10 100 80"));
    const std::pair<int32_t, int32_t> sizes[] = {{INT_MAX, INT_MAX}, {8192, 8192}, {4096, 4096},
                                                 {8192, 8192},       {1921, 1080}, {1920, 1081}};
    for (const auto& [width, height] : sizes) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        Command resize = MakeCommand(NsChannel::CMD_RESIZE);
        resize.width = width;
        resize.height = height;
        ASSERT_TRUE(addin.Send(resize));
        ASSERT_TRUE(engine.WaitForJournal("call WasResized"));
        // The page's repaint is queued before the page script's event.
        const std::string mark = "painted-" + size;
        ASSERT_TRUE(engine.Request("call addinTrace s:" + mark));
        ASSERT_TRUE(addin.WaitForEvent(U16(L"addinTrace:" + std::wstring(mark.begin(), mark.end()))));
        const std::optional<CManualAddin::CFrameHeader> frame = addin.CurrentFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->width, 1024) << "after a view of " << size;
        EXPECT_EQ(frame->height, 768) << "after a view of " << size;
    }
    EXPECT_TRUE(InStep());
    Command resize = MakeCommand(NsChannel::CMD_RESIZE);
    resize.width = 1920;
    resize.height = 1080;
    ASSERT_TRUE(addin.Send(resize));
    EXPECT_TRUE(addin.WaitForFrame(1920, 1080));
    EXPECT_TRUE(ClosesWithTheAddin());
}

// Fields the client library never writes: a view of negative size is dropped, and a key both
// down and up goes out as a key down.
TEST_F(PipeFaults, ANegativeViewIsDroppedAndAKeyDownAndUpIsAKeyDown)
{
    Command resize = MakeCommand(NsChannel::CMD_RESIZE);
    resize.width = -1;
    resize.height = 480;
    ASSERT_TRUE(addin.Send(resize));
    Command key = MakeCommand(NsChannel::CMD_KEY);
    key.keyCode = 65;
    key.keyDown = true;
    key.keyUp = true;
    ASSERT_TRUE(addin.Send(key));
    EXPECT_TRUE(engine.WaitForJournal("call SendKeyEvent type=0 windows_key_code=65"));
    // Commands run in order, so a resize carried out would be in the journal by now.
    for (const std::string& line : engine.JournalSince(journalStart))
        EXPECT_NE(line.rfind("call WasResized ", 0), 0u) << line;
    EXPECT_TRUE(InStep());
}
