#include "runtime/ipc_channel.h"

#include <cstring>
#include <utility>

#include "runtime/wire.h"

namespace cefcompat {
namespace {

constexpr DWORD kPipeBuffer = 64 * 1024;

// An overlapped operation with its own manual-reset event; waits for a cancelled operation to
// finish before its buffer goes away.
class COverlappedOp {
public:
    COverlappedOp() : m_event(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        std::memset(&m_ov, 0, sizeof(m_ov));
        m_ov.hEvent = m_event.Get();
    }
    COverlappedOp(const COverlappedOp&) = delete;
    COverlappedOp& operator=(const COverlappedOp&) = delete;
    ~COverlappedOp() { Finish(); }

    bool IsValid() const { return m_event.IsValid(); }
    HANDLE Event() const { return m_event.Get(); }
    OVERLAPPED* Begin(HANDLE file)
    {
        m_file = file;
        ResetEvent(m_event.Get());
        std::memset(&m_ov, 0, sizeof(m_ov));
        m_ov.hEvent = m_event.Get();
        m_pending = true;
        return &m_ov;
    }
    // After the event fired (or a synchronous completion): the byte count, or false.
    bool Complete(DWORD* bytes)
    {
        m_pending = false;
        return GetOverlappedResult(m_file, &m_ov, bytes, FALSE) != FALSE;
    }
    void Abandon() { m_pending = false; }
    bool Pending() const { return m_pending; }
    void Finish()
    {
        if (!m_pending)
            return;
        DWORD bytes = 0;
        GetOverlappedResult(m_file, &m_ov, &bytes, TRUE);
        m_pending = false;
    }

private:
    NsWin32::CKernelHandle m_event;
    OVERLAPPED m_ov;
    HANDLE m_file = nullptr;
    bool m_pending = false;
};

// Starts an overlapped read or write; false when it failed at once.
bool Started(BOOL result)
{
    return result || GetLastError() == ERROR_IO_PENDING;
}

std::string Frame(const std::string& payload)
{
    CWireWriter header;
    header.U32(static_cast<uint32_t>(payload.size()));
    return header.Bytes() + payload;
}

} // namespace

std::unique_ptr<CIpcChannel> CIpcChannel::CreateServer(const std::wstring& name)
{
    NsWin32::CFileHandle pipe(
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, kPipeBuffer, kPipeBuffer, 0, nullptr));
    if (!pipe)
        return nullptr;
    return std::unique_ptr<CIpcChannel>(new CIpcChannel(std::move(pipe), true));
}

std::unique_ptr<CIpcChannel> CIpcChannel::ConnectClient(const std::wstring& name)
{
    NsWin32::CFileHandle pipe(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OVERLAPPED, nullptr));
    if (!pipe)
        return nullptr;
    return std::unique_ptr<CIpcChannel>(new CIpcChannel(std::move(pipe), false));
}

CIpcChannel::CIpcChannel(NsWin32::CFileHandle pipe, bool server)
    : m_pipe(std::move(pipe)),
      m_server(server),
      m_stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_sendEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

CIpcChannel::~CIpcChannel()
{
    Stop();
}

bool CIpcChannel::Start(IListener* listener, HANDLE peerProcess)
{
    if (m_thread.joinable() || !listener || !m_stopEvent || !m_sendEvent)
        return false;
    m_listener = listener;
    m_peerProcess = peerProcess;
    m_thread = std::thread(&CIpcChannel::Run, this);
    return true;
}

bool CIpcChannel::Send(const std::string& payload)
{
    if (payload.size() > kMaxWireMessage)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return false;
        m_outgoing.push_back(Frame(payload));
    }
    SetEvent(m_sendEvent.Get());
    return true;
}

void CIpcChannel::Stop()
{
    if (!m_thread.joinable())
        return;
    SetEvent(m_stopEvent.Get());
    m_thread.join();
}

void CIpcChannel::MarkClosed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    m_outgoing.clear();
}

void CIpcChannel::Run()
{
    const bool connected = !m_server || WaitForClient();
    bool stopped = WaitForSingleObject(m_stopEvent.Get(), 0) == WAIT_OBJECT_0;
    if (connected && !stopped) {
        m_listener->OnIpcConnected();
        stopped = Pump();
    }
    MarkClosed();
    if (!stopped)
        m_listener->OnIpcClosed();
}

bool CIpcChannel::WaitForClient()
{
    COverlappedOp connect;
    if (!connect.IsValid())
        return false;
    if (ConnectNamedPipe(m_pipe.Get(), connect.Begin(m_pipe.Get())))
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) {
        connect.Abandon();
        return true;
    }
    if (error != ERROR_IO_PENDING) {
        connect.Abandon();
        return false;
    }
    HANDLE waits[3] = {m_stopEvent.Get(), connect.Event(), m_peerProcess};
    const DWORD count = m_peerProcess ? 3 : 2;
    const DWORD result = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0 + 1) {
        DWORD bytes = 0;
        return connect.Complete(&bytes);
    }
    CancelIo(m_pipe.Get());
    return false;
}

// Returns true when stopped from outside, false when the peer went away or misbehaved.
bool CIpcChannel::Pump()
{
    COverlappedOp read;
    COverlappedOp write;
    if (!read.IsValid() || !write.IsValid())
        return false;
    std::string readBuffer(kPipeBuffer, '\0');
    std::string received;
    std::string writing;
    bool stopped = false;

    for (;;) {
        if (!read.Pending() &&
            !Started(ReadFile(m_pipe.Get(), &readBuffer[0], kPipeBuffer, nullptr, read.Begin(m_pipe.Get())))) {
            read.Abandon();
            break;
        }
        if (!write.Pending()) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                writing.clear();
                if (!m_outgoing.empty()) {
                    writing = std::move(m_outgoing.front());
                    m_outgoing.pop_front();
                }
            }
            if (!writing.empty() && !Started(WriteFile(m_pipe.Get(), writing.data(), static_cast<DWORD>(writing.size()),
                                                       nullptr, write.Begin(m_pipe.Get())))) {
                write.Abandon();
                break;
            }
        }

        HANDLE waits[4] = {m_stopEvent.Get(), read.Event(), m_sendEvent.Get(), write.Event()};
        const DWORD count = write.Pending() ? 4 : 3;
        const DWORD result = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) {
            stopped = true;
            break;
        }
        if (result == WAIT_OBJECT_0 + 1) {
            DWORD bytes = 0;
            if (!read.Complete(&bytes) || bytes == 0)
                break;
            received.append(readBuffer.data(), bytes);
            if (!TakeFrames(&received))
                break;
        } else if (result == WAIT_OBJECT_0 + 3) {
            DWORD bytes = 0;
            if (!write.Complete(&bytes) || bytes != writing.size())
                break;
        } else if (result != WAIT_OBJECT_0 + 2) {
            break;
        }
    }
    CancelIo(m_pipe.Get());
    read.Finish();
    write.Finish();
    return stopped;
}

bool CIpcChannel::TakeFrames(std::string* buffer)
{
    size_t pos = 0;
    while (buffer->size() - pos >= 4) {
        const std::string header = buffer->substr(pos, 4);
        CWireReader reader(header);
        uint32_t length = 0;
        reader.U32(&length);
        if (length > kMaxWireMessage)
            return false;
        if (buffer->size() - pos - 4 < length)
            break;
        m_listener->OnIpcMessage(buffer->substr(pos + 4, length));
        pos += 4 + length;
    }
    buffer->erase(0, pos);
    return true;
}

} // namespace cefcompat
