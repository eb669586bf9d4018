#include "ChannelControl.h"

#include "ByteOrder.h"
#include "OverlappedPipe.h"
#include "SharedBlock.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

using NsChannel::kEventAreaOffset;
using NsChannel::kEventAreaSize;
using NsChannel::kFrameHeaderOffset;
using NsWin32::CMutexLock;
using NsWin32::CPipeIo;
using NsWin32::PipeIoResult;

namespace {

constexpr wchar_t kProtocolGuid[] = L"{D670E1E0-1A37-429e-9004-7989E97E96C1}";
constexpr wchar_t kLocalPrefix[] = L"Local\\";
constexpr wchar_t kPipePrefix[] = L"\\\\.\\pipe\\";

constexpr DWORD kFrameMutexTimeoutMs = 500;
constexpr DWORD kPipeBufferSize = 20480;
constexpr DWORD kPipeDefaultTimeoutMs = 100;
constexpr DWORD kLengthPrefixSize = 4;
// How long a reply's record may follow its length.
constexpr DWORD kRecordAfterLengthMs = 5000;

// Only command records (4,104 bytes) mean anything. A longer length is never allocated: its
// bytes are read off the pipe and dropped, so what follows is still read in step.
constexpr int32_t kMaxRecordLength = 65536;

const wchar_t* Suffix(ChannelObject object)
{
    switch (object) {
    case ChannelObject::BrowserEventSignal: return L"_browserEvent";
    case ChannelObject::BrowserEventMutex: return L"_browserEvent_Mutex";
    case ChannelObject::ReplySignal: return L"_retData_event";
    case ChannelObject::FrameSignal: return L"_bitmapData_event";
    case ChannelObject::FrameMutex: return L"_bitmapData_Mutex";
    case ChannelObject::Memory: return L"_memory";
    case ChannelObject::Pipe: return L"_pipe_C2H";
    }
    return L"";
}

bool ReadLengthPrefix(CPipeIo& io, HANDLE pipe, HANDLE stopSignal, DWORD timeoutMs, int32_t& length)
{
    unsigned char prefix[kLengthPrefixSize];
    if (io.Read(pipe, prefix, sizeof prefix, stopSignal, timeoutMs) != PipeIoResult::Done)
        return false;
    length = NsChannel::ReadInt32(prefix);
    return true;
}

bool WriteMessage(CPipeIo& io, HANDLE pipe, const unsigned char* record, DWORD size, HANDLE stopSignal, DWORD timeoutMs)
{
    unsigned char prefix[kLengthPrefixSize];
    NsChannel::WriteInt32(prefix, static_cast<int32_t>(size));
    const NsWin32::CDeadline deadline(timeoutMs);
    return io.Write(pipe, prefix, sizeof prefix, stopSignal, deadline.Remaining()) == PipeIoResult::Done &&
           io.Write(pipe, record, size, stopSignal, deadline.Remaining()) == PipeIoResult::Done;
}

} // namespace

CChannelControl::CChannelControl(int32_t processId, int32_t index, IChannelControlConsumer* consumer)
    : m_processId(processId),
      m_index(index),
      m_consumer(consumer),
      m_blockSize(static_cast<uint32_t>(NsChannel::kBlockSize))
{
}

CChannelControl::~CChannelControl()
{
    Close();
}

bool CChannelControl::IsValidKey(int32_t processId, int32_t index)
{
    return processId > 0 && index != -1;
}

std::wstring CChannelControl::ObjectName(ChannelObject object, int32_t processId, int32_t index)
{
    std::wstring name = object == ChannelObject::Pipe ? kPipePrefix : kLocalPrefix;
    name += kProtocolGuid;
    name += Suffix(object);
    name += L"_" + std::to_wstring(processId) + L"_" + std::to_wstring(index);
    return name;
}

bool CChannelControl::Open(bool serverRole)
{
    if (m_open)
        return true;
    if (!CreateSharedObjects()) {
        Close();
        return false;
    }
    std::memset(m_view.Bytes() + kEventAreaOffset, 0, kEventAreaSize);
    m_serverRole = serverRole;
    if (serverRole) {
        if (!CreatePipeServer(false)) {
            Close();
            return false;
        }
    } else if (OpenPipeClient()) {
        // Without its reader the channel still carries frames and event texts.
        m_readerThread.Start(&CChannelControl::PipeReaderThread, this);
    }
    m_open = true;
    return true;
}

bool CChannelControl::CreateSharedObjects()
{
    const auto name = [this](ChannelObject object) { return ObjectName(object, m_processId, m_index); };
    m_browserEventSignal.Reset(::CreateEventW(nullptr, FALSE, FALSE, name(ChannelObject::BrowserEventSignal).c_str()));
    if (!m_browserEventSignal)
        return false;
    m_browserEventMutex.Reset(::CreateMutexW(nullptr, FALSE, name(ChannelObject::BrowserEventMutex).c_str()));
    if (!m_browserEventMutex)
        return false;
    m_replySignal.Reset(::CreateEventW(nullptr, FALSE, FALSE, name(ChannelObject::ReplySignal).c_str()));
    if (!m_replySignal)
        return false;
    m_frameSignal.Reset(::CreateEventW(nullptr, FALSE, FALSE, name(ChannelObject::FrameSignal).c_str()));
    if (!m_frameSignal)
        return false;
    m_frameMutex.Reset(::CreateMutexW(nullptr, FALSE, name(ChannelObject::FrameMutex).c_str()));
    if (!m_frameMutex)
        return false;
    m_mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, m_blockSize,
                                         name(ChannelObject::Memory).c_str()));
    if (!m_mapping)
        return false;
    m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, m_blockSize));
    if (!m_view)
        return false;
    m_stopSignal.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_stopping = false;
    m_clientConnected.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return m_stopSignal && m_clientConnected;
}

// Overlapped, so that Close can end a read that is waiting for the add-in.
bool CChannelControl::OpenPipeClient()
{
    m_pipe.Reset(::CreateFileW(ObjectName(ChannelObject::Pipe, m_processId, m_index).c_str(),
                               GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    return m_pipe.IsValid();
}

void CChannelControl::Close()
{
    StopThreads();
    m_pipe.Reset();
    m_stopSignal.Reset();
    m_clientConnected.Reset();
    m_browserEventSignal.Reset();
    m_browserEventMutex.Reset();
    m_replySignal.Reset();
    m_frameSignal.Reset();
    m_frameMutex.Reset();
    m_view.Reset();
    m_mapping.Reset();
    m_open = false;
}

// Both threads watch the stop signal in every wait, so neither is killed while it may hold
// a mutex or have I/O pending.
void CChannelControl::StopThreads()
{
    m_stopping = true;
    if (m_stopSignal)
        ::SetEvent(m_stopSignal.Get());
    m_readerThread.Join();
    m_serverThread.Join();
}

bool CChannelControl::WaitForReaderEnd(DWORD timeoutMs) const
{
    return !m_readerThread.IsStarted() || ::WaitForSingleObject(m_readerThread.Handle(), timeoutMs) == WAIT_OBJECT_0;
}

unsigned char* CChannelControl::FrameHeader() const
{
    return m_view ? m_view.Bytes() + kFrameHeaderOffset : nullptr;
}

// A header that promises more pixels than were written would lead the add-in to read stale
// bytes, or past the block, so such a frame is dropped like one that does not fit.
bool CChannelControl::IsWritableFrame(int32_t width, int32_t height, const void* pixels, uint32_t byteCount)
{
    if (width < 0 || height < 0 || byteCount > NsChannel::kPixelCapacity || (byteCount > 0 && pixels == nullptr))
        return false;
    return uint64_t{4} * static_cast<uint32_t>(width) * static_cast<uint32_t>(height) <= byteCount;
}

void CChannelControl::WriteFrame(int32_t width, int32_t height, const void* pixels, uint32_t byteCount)
{
    if (!m_view || !IsWritableFrame(width, height, pixels, byteCount))
        return;
    {
        const CMutexLock lock(m_frameMutex.Get(), kFrameMutexTimeoutMs);
        if (!lock.Owns())
            return;
        unsigned char* header = m_view.Bytes() + kFrameHeaderOffset;
        NsChannel::WriteInt32(header, width);
        NsChannel::WriteInt32(header + 4, height);
        if (byteCount > 0)
            std::memcpy(m_view.Bytes() + NsChannel::kPixelOffset, pixels, byteCount);
    }
    ::SetEvent(m_frameSignal.Get());
}

void CChannelControl::WriteBrowserEvent(const wchar_t* text, size_t length)
{
    if (!m_view || text == nullptr)
        return;
    const std::u16string event(text, text + length);
    {
        const CMutexLock lock(m_browserEventMutex.Get(), INFINITE);
        if (!lock.Owns())
            return;
        NsChannel::AppendEventText(m_view.Bytes() + kEventAreaOffset, event);
    }
    ::SetEvent(m_browserEventSignal.Get());
}

// Runs on the reader thread only, so pipe writes never interleave.
void CChannelControl::WriteReply(const NsChannel::ReplyRecord& reply)
{
    if (!m_replySignal)
        return;
    if (m_pipe)
        WriteMessage(m_replyIo, m_pipe.Get(), reply.data(), static_cast<DWORD>(reply.size()), m_stopSignal.Get(),
                     INFINITE);
    ::SetEvent(m_replySignal.Get());
}

DWORD WINAPI CChannelControl::PipeReaderThread(void* channel)
{
    static_cast<CChannelControl*>(channel)->ReadCommands();
    return 0;
}

void CChannelControl::ReadCommands()
{
    NsWin32::CBufferedPipeReader reader(m_pipe.Get(), m_stopSignal.Get());
    while (!m_stopping && ReadOneRecord(reader)) {}
}

// False once the pipe fails or the channel stops. Nothing half-read is ever handed on.
bool CChannelControl::ReadOneRecord(NsWin32::CBufferedPipeReader& reader)
{
    unsigned char prefix[kLengthPrefixSize];
    if (reader.Read(prefix, sizeof prefix) != PipeIoResult::Done)
        return false;
    const int32_t length = NsChannel::ReadInt32(prefix);
    if (length <= 0)
        return true;
    if (length > kMaxRecordLength)
        return reader.Skip(static_cast<DWORD>(length)) == PipeIoResult::Done;
    std::vector<unsigned char> record(static_cast<size_t>(length));
    if (reader.Read(record.data(), static_cast<DWORD>(length)) != PipeIoResult::Done)
        return false;
    if (m_consumer)
        m_consumer->OnChannelData(record.data(), length);
    return true;
}

bool CChannelControl::CreatePipeServer(bool terminateFirst)
{
    if (!m_serverRole || !m_view || !m_stopSignal)
        return false;
    if (m_serverThread.IsStarted()) {
        // Replacing the pipe under a running server thread would leave it on a closed handle.
        if (!terminateFirst)
            return false;
        ::SetEvent(m_stopSignal.Get());
        m_serverThread.Join();
        ::ResetEvent(m_stopSignal.Get());
    }
    m_pipe.Reset();
    ::ResetEvent(m_clientConnected.Get());
    m_pipe.Reset(::CreateNamedPipeW(ObjectName(ChannelObject::Pipe, m_processId, m_index).c_str(),
                                    PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                    kPipeBufferSize, kPipeBufferSize, kPipeDefaultTimeoutMs, nullptr));
    if (!m_pipe)
        return false;
    return m_serverThread.Start(&CChannelControl::PipeServerThread, this);
}

DWORD WINAPI CChannelControl::PipeServerThread(void* channel)
{
    static_cast<CChannelControl*>(channel)->ServeSignals();
    return 0;
}

void CChannelControl::ServeSignals()
{
    // Frames and event texts are served whether or not a client ever comes.
    const PipeIoResult connect = NsWin32::ConnectPipe(m_pipe.Get(), m_stopSignal.Get(), INFINITE);
    if (connect == PipeIoResult::Stopped)
        return;
    if (connect == PipeIoResult::Done)
        ::SetEvent(m_clientConnected.Get());

    // The stop comes first; of the two signals the frame is served first.
    const HANDLE handles[3] = {m_stopSignal.Get(), m_frameSignal.Get(), m_browserEventSignal.Get()};
    for (;;) {
        switch (::WaitForMultipleObjects(3, handles, FALSE, INFINITE)) {
        case WAIT_OBJECT_0 + 1: ServeFrame(); break;
        case WAIT_OBJECT_0 + 2: ServeBrowserEvent(); break;
        default:
            // Stopped, or the wait itself failed, which would fail again at once.
            return;
        }
    }
}

void CChannelControl::ServeFrame()
{
    const CMutexLock lock(m_frameMutex.Get(), m_stopSignal.Get());
    if (lock.Owns() && m_consumer)
        m_consumer->OnFrameData(m_view.Bytes() + kFrameHeaderOffset, m_blockSize);
}

void CChannelControl::ServeBrowserEvent()
{
    std::u16string text;
    {
        const CMutexLock lock(m_browserEventMutex.Get(), m_stopSignal.Get());
        if (!lock.Owns())
            return;
        unsigned char* area = m_view.Bytes() + kEventAreaOffset;
        text = NsChannel::ReadEventArea(area);
        std::memset(area, 0, kEventAreaSize);
    }
    if (m_consumer) {
        const std::wstring wide(text.begin(), text.end());
        m_consumer->OnBrowserEventData(wide.c_str(), wide.size());
    }
}

bool CChannelControl::WaitForClient(DWORD timeoutMs, HANDLE giveUpSignal)
{
    if (!m_clientConnected)
        return false;
    const HANDLE handles[2] = {m_clientConnected.Get(), giveUpSignal};
    return ::WaitForMultipleObjects(giveUpSignal ? 2 : 1, handles, FALSE, timeoutMs) == WAIT_OBJECT_0;
}

bool CChannelControl::SendCommand(const NsChannel::CommandRecord& command, DWORD timeoutMs)
{
    if (!m_serverRole || !m_pipe)
        return false;
    // Length and record in one write: the host reads the pipe as bytes, and each transfer costs
    // a round trip through the system (under Wine, through its server) on both ends.
    std::array<unsigned char, kLengthPrefixSize + NsChannel::kCommandRecordSize> message;
    NsChannel::WriteInt32(message.data(), static_cast<int32_t>(command.size()));
    std::memcpy(message.data() + kLengthPrefixSize, command.data(), command.size());
    // Commands from several threads would otherwise interleave.
    const std::lock_guard<std::mutex> lock(m_commandIoLock);
    return m_commandIo.Write(m_pipe.Get(), message.data(), static_cast<DWORD>(message.size()), m_stopSignal.Get(),
                             timeoutMs) == PipeIoResult::Done;
}

bool CChannelControl::ReadReply(NsChannel::ReplyRecord& reply, DWORD timeoutMs)
{
    if (!m_serverRole || !m_pipe)
        return false;
    // The reply is read as its length arrives instead of after the reply signal, which the host
    // sets only after its second write: the add-in starts reading while the record is still on
    // its way, and the signal's wake-up leaves the round trip. Nothing else waits on the signal.
    const NsWin32::CDeadline deadline(timeoutMs);
    const std::lock_guard<std::mutex> lock(m_replyReadLock);
    int32_t length = 0;
    if (!ReadLengthPrefix(m_replyReadIo, m_pipe.Get(), m_stopSignal.Get(), deadline.Remaining(), length) ||
        length != static_cast<int32_t>(reply.size()))
        return false;
    // The host writes the record right behind its length; a length taken at the end of the time
    // still gets its record, or the replies after it would be read out of step.
    return m_replyReadIo.Read(m_pipe.Get(), reply.data(), static_cast<DWORD>(reply.size()), m_stopSignal.Get(),
                              std::max(deadline.Remaining(), kRecordAfterLengthMs)) == PipeIoResult::Done;
}

bool CChannelControl::ReadFrameArea(const std::function<void(const unsigned char*, uint32_t)>& read, DWORD timeoutMs)
{
    if (!m_view || !m_frameMutex)
        return false;
    const CMutexLock lock(m_frameMutex.Get(), timeoutMs);
    if (!lock.Owns())
        return false;
    read(m_view.Bytes() + kFrameHeaderOffset, m_blockSize);
    return true;
}
