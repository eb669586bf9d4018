// Overlapped pipe transfers: one completion event serving many transfers, each of which must
// wait for its own completion, never for the signal an earlier one left behind; the buffered
// reader, which must hand on exactly the bytes of the stream in order; and the channel's
// commands, which reach the host whole whichever threads send them.

#include "ByteOrder.h"
#include "ChannelControl.h"
#include "ChannelTestSupport.h"
#include "OverlappedPipe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <functional>
#include <thread>

using NsWin32::CFileHandle;
using NsWin32::CKernelHandle;
using NsWin32::CPipeIo;
using NsWin32::PipeIoResult;

namespace {

// Long enough for an operation that would wrongly finish at once to show it.
constexpr DWORD kShortWaitMs = 200;
const DWORD kTimeoutMs = NsTestSupport::ScaledMs(10000);

std::wstring UniquePipeName()
{
    static int counter = 0;
    return L"\\\\.\\pipe\\pipe-io-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

CFileHandle CreateServer(const std::wstring& name)
{
    return CFileHandle(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                          PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 100,
                                          nullptr));
}

CFileHandle OpenClient(const std::wstring& name)
{
    return CFileHandle(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED, nullptr));
}

// Both ends of one connected pipe.
struct CPipePair {
    CPipePair() : name(UniquePipeName()), server(CreateServer(name)), client(OpenClient(name)) {}
    bool IsValid() const
    {
        return server.IsValid() && client.IsValid() &&
               NsWin32::ConnectPipe(server.Get(), nullptr, kTimeoutMs) == PipeIoResult::Done;
    }

    std::wstring name;
    CFileHandle server;
    CFileHandle client;
};

std::string ReadText(CPipeIo& io, HANDLE pipe, DWORD size, HANDLE stop = nullptr, DWORD timeoutMs = kTimeoutMs)
{
    std::string text(size, '\0');
    return io.Read(pipe, text.data(), size, stop, timeoutMs) == PipeIoResult::Done ? text : "<failed>";
}

} // namespace

TEST(PipeIo, AReadOnAnEmptyPipeWaitsAfterAnEarlierReadFinishedAtOnce)
{
    CPipePair pipe;
    ASSERT_TRUE(pipe.IsValid());
    CPipeIo io;
    ASSERT_EQ(io.Write(pipe.server.Get(), "abcd", 4, nullptr, kTimeoutMs), PipeIoResult::Done);
    EXPECT_EQ(ReadText(io, pipe.client.Get(), 4), "abcd");

    char byte = 0;
    EXPECT_EQ(io.Read(pipe.client.Get(), &byte, 1, nullptr, kShortWaitMs), PipeIoResult::TimedOut);

    // The cancelled read took nothing: what comes next is read whole and in order.
    ASSERT_EQ(io.Write(pipe.server.Get(), "efgh", 4, nullptr, kTimeoutMs), PipeIoResult::Done);
    ASSERT_EQ(io.Write(pipe.server.Get(), "ij", 2, nullptr, kTimeoutMs), PipeIoResult::Done);
    EXPECT_EQ(ReadText(io, pipe.client.Get(), 6), "efghij");
}

TEST(PipeIo, AStopEndsAWaitingReadAndTheSameEventServesTheNextOne)
{
    CPipePair pipe;
    ASSERT_TRUE(pipe.IsValid());
    const CKernelHandle stop(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    CPipeIo io;
    char byte = 0;
    EXPECT_EQ(io.Read(pipe.client.Get(), &byte, 1, stop.Get(), kTimeoutMs), PipeIoResult::Stopped);

    ::ResetEvent(stop.Get());
    ASSERT_EQ(NsWin32::WritePipe(pipe.server.Get(), "xyz", 3, nullptr, kTimeoutMs), PipeIoResult::Done);
    EXPECT_EQ(ReadText(io, pipe.client.Get(), 3, stop.Get()), "xyz");
}

TEST(PipeIo, AConnectionIsAwaitedEvenWhenAnEarlierTransferLeftTheEventSet)
{
    CPipePair used;
    ASSERT_TRUE(used.IsValid());
    CPipeIo io;
    ASSERT_EQ(io.Write(used.client.Get(), "ab", 2, nullptr, kTimeoutMs), PipeIoResult::Done);

    const std::wstring name = UniquePipeName();
    const CFileHandle server = CreateServer(name);
    ASSERT_TRUE(server.IsValid());
    EXPECT_EQ(io.Connect(server.Get(), nullptr, kShortWaitMs), PipeIoResult::TimedOut);

    const CFileHandle client = OpenClient(name);
    ASSERT_TRUE(client.IsValid());
    EXPECT_EQ(io.Connect(server.Get(), nullptr, kTimeoutMs), PipeIoResult::Done);
}

TEST(PipeIo, ABrokenPipeFailsTheTransferInsteadOfWaiting)
{
    CPipePair pipe;
    ASSERT_TRUE(pipe.IsValid());
    CPipeIo io;
    ASSERT_EQ(io.Write(pipe.server.Get(), "a", 1, nullptr, kTimeoutMs), PipeIoResult::Done);
    pipe.server.Reset();
    char bytes[2] = {};
    EXPECT_EQ(io.Read(pipe.client.Get(), bytes, 2, nullptr, kTimeoutMs), PipeIoResult::Failed);
}

// The reader treats the pipe as a byte stream, whatever the writes' boundaries.
TEST(BufferedPipeReader, ReadsAndSkipsAcrossMessageBoundaries)
{
    CPipePair pipe;
    ASSERT_TRUE(pipe.IsValid());
    for (const char* message : {"ab", "cdefgh", "ijklm"})
        ASSERT_EQ(NsWin32::WritePipe(pipe.server.Get(), message, static_cast<DWORD>(std::strlen(message)), nullptr,
                                     kTimeoutMs),
                  PipeIoResult::Done);
    NsWin32::CBufferedPipeReader reader(pipe.client.Get(), nullptr);
    char text[8] = {};
    ASSERT_EQ(reader.Read(text, 3), PipeIoResult::Done);
    EXPECT_EQ(std::string(text, 3), "abc");
    ASSERT_EQ(reader.Skip(4), PipeIoResult::Done);
    ASSERT_EQ(reader.Read(text, 6), PipeIoResult::Done);
    EXPECT_EQ(std::string(text, 6), "hijklm");
}

TEST(BufferedPipeReader, SkipsMoreThanItsBufferHoldsAndStaysInStep)
{
    CPipePair pipe;
    ASSERT_TRUE(pipe.IsValid());
    // More than the pipe holds: the writer waits for the reader to make room.
    const std::string filler(100000, 'x');
    PipeIoResult written = PipeIoResult::Failed;
    std::thread writer([&] {
        written = NsWin32::WritePipe(pipe.server.Get(), filler.data(), static_cast<DWORD>(filler.size()), nullptr,
                                     kTimeoutMs);
        if (written == PipeIoResult::Done)
            written = NsWin32::WritePipe(pipe.server.Get(), "end", 3, nullptr, kTimeoutMs);
    });
    NsWin32::CBufferedPipeReader reader(pipe.client.Get(), nullptr);
    char text[3] = {};
    const PipeIoResult skipped = reader.Skip(static_cast<DWORD>(filler.size()));
    const PipeIoResult read = reader.Read(text, 3);
    writer.join();
    EXPECT_EQ(written, PipeIoResult::Done);
    EXPECT_EQ(skipped, PipeIoResult::Done);
    ASSERT_EQ(read, PipeIoResult::Done);
    EXPECT_EQ(std::string(text, 3), "end");
}

TEST(BufferedPipeReader, APipeThatBreaksMidReadFailsAndAStopEndsAWait)
{
    CPipePair broken;
    ASSERT_TRUE(broken.IsValid());
    ASSERT_EQ(NsWin32::WritePipe(broken.server.Get(), "abc", 3, nullptr, kTimeoutMs), PipeIoResult::Done);
    broken.server.Reset();
    NsWin32::CBufferedPipeReader brokenReader(broken.client.Get(), nullptr);
    char text[5] = {};
    EXPECT_EQ(brokenReader.Read(text, 5), PipeIoResult::Failed);

    CPipePair idle;
    ASSERT_TRUE(idle.IsValid());
    const CKernelHandle stop(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    NsWin32::CBufferedPipeReader idleReader(idle.client.Get(), stop.Get());
    EXPECT_EQ(idleReader.Read(text, 1), PipeIoResult::Stopped);
}

// The add-in's end may send from several threads; each command must reach the host whole.
TEST(ChannelCommands, SendersOnSeveralThreadsNeverInterleaveTheirRecords)
{
    const NsChannelTest::ChannelKey key = NsChannelTest::NextKey();
    NsChannelTest::CRecordingConsumer received;
    CChannelControl addin(key.processId, key.index, nullptr);
    ASSERT_TRUE(addin.Open(true));
    CChannelControl host(key.processId, key.index, &received);
    ASSERT_TRUE(host.Open(false));
    ASSERT_TRUE(addin.WaitForClient(kTimeoutMs));

    constexpr int kPerThread = 200;
    const auto sendMany = [&](int32_t code, bool& sent) {
        NsChannel::CommandRecord record{};
        NsChannel::WriteInt32(record.data(), code);
        sent = true;
        for (int i = 0; i < kPerThread && sent; ++i)
            sent = addin.SendCommand(record, kTimeoutMs);
    };
    bool sentFirst = false;
    bool sentSecond = false;
    std::thread first(sendMany, NsChannel::CMD_FOCUS, std::ref(sentFirst));
    std::thread second(sendMany, NsChannel::CMD_GO_BACK, std::ref(sentSecond));
    first.join();
    second.join();
    ASSERT_TRUE(sentFirst && sentSecond);

    ASSERT_TRUE(received.WaitForRecords(2 * kPerThread, kTimeoutMs));
    int focus = 0;
    int back = 0;
    for (const auto& record : received.Records()) {
        ASSERT_EQ(record.size(), NsChannel::kCommandRecordSize);
        const int32_t code = NsChannel::ReadInt32(record.data());
        focus += code == NsChannel::CMD_FOCUS ? 1 : 0;
        back += code == NsChannel::CMD_GO_BACK ? 1 : 0;
    }
    EXPECT_EQ(focus, kPerThread);
    EXPECT_EQ(back, kPerThread);
}
