#include "runtime/control_server.h"

#include <cstring>
#include <utility>

namespace cefcompat {
namespace {

constexpr DWORD kBufferSize = 64 * 1024;
constexpr size_t kMaxRequest = 64 * 1024;
constexpr int kMaxSessions = 16;

// One overlapped operation on |file|, waited for together with |stop|. False on failure or
// stop; a stopped operation is cancelled and waited out before returning.
bool RunOverlapped(HANDLE file, HANDLE stop, BOOL (*start)(HANDLE, void*, DWORD, OVERLAPPED*), void* buffer, DWORD size,
                   DWORD* done)
{
    NsWin32::CKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return false;
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof(ov));
    ov.hEvent = event.Get();
    if (!start(file, buffer, size, &ov) && GetLastError() != ERROR_IO_PENDING)
        return false;
    HANDLE waits[2] = {stop, event.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
        CancelIo(file);
        GetOverlappedResult(file, &ov, done, TRUE);
        return false;
    }
    return GetOverlappedResult(file, &ov, done, FALSE) != FALSE;
}

BOOL StartRead(HANDLE file, void* buffer, DWORD size, OVERLAPPED* ov)
{
    return ReadFile(file, buffer, size, nullptr, ov);
}

BOOL StartWrite(HANDLE file, void* buffer, DWORD size, OVERLAPPED* ov)
{
    return WriteFile(file, buffer, size, nullptr, ov);
}

// Waits for a client on |pipe|; one that came before the wait began counts too.
bool WaitForClient(HANDLE pipe, HANDLE stop)
{
    NsWin32::CKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return false;
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof(ov));
    ov.hEvent = event.Get();
    if (ConnectNamedPipe(pipe, &ov))
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED)
        return true;
    if (error != ERROR_IO_PENDING)
        return false;
    HANDLE waits[2] = {stop, event.Get()};
    DWORD ignored = 0;
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &ov, &ignored, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, &ov, &ignored, FALSE) != FALSE;
}

// The answer of one request: set once by whoever answers, waited for by the session.
struct CPendingReply {
    NsWin32::CKernelHandle ready{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::mutex mutex;
    std::string line;
    bool set = false;
};

} // namespace

std::wstring CControlServer::PipeName(DWORD processId)
{
    return L"\\\\.\\pipe\\cefcompat-control-" + std::to_wstring(processId);
}

CControlServer::CControlServer(IHandler* handler, DWORD replyTimeoutMs)
    : m_handler(handler),
      m_replyTimeoutMs(replyTimeoutMs),
      m_name(PipeName(GetCurrentProcessId())),
      m_stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CControlServer::~CControlServer()
{
    Stop();
}

bool CControlServer::Start()
{
    if (!m_stopEvent || m_listener.joinable())
        return false;
    NsWin32::CFileHandle first = NewInstance();
    if (!first)
        return false;
    m_listener = std::thread([this, p = first.Release()]() { Listen(NsWin32::CFileHandle(p)); });
    return true;
}

NsWin32::CFileHandle CControlServer::NewInstance() const
{
    return NsWin32::CFileHandle(CreateNamedPipeW(m_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, kMaxSessions,
                                                 kBufferSize, kBufferSize, 0, nullptr));
}

void CControlServer::Stop()
{
    if (!m_listener.joinable())
        return;
    SetEvent(m_stopEvent.Get());
    m_listener.join();
    std::list<CSession> sessions;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sessions.swap(m_sessions);
    }
    for (CSession& session : sessions)
        session.thread.join();
}

void CControlServer::Listen(NsWin32::CFileHandle first)
{
    NsWin32::CFileHandle pipe = std::move(first);
    while (pipe) {
        if (!WaitForClient(pipe.Get(), m_stopEvent.Get())) {
            if (WaitForSingleObject(m_stopEvent.Get(), 0) == WAIT_OBJECT_0)
                return;
            pipe = NewInstance();
            continue;
        }
        // The next client finds a free instance while this one is being served.
        NsWin32::CFileHandle next = NewInstance();
        ReapFinishedSessions();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sessions.emplace_back();
            CSession& session = m_sessions.back();
            session.thread = std::thread([this, &session, p = pipe.Release()]() {
                Serve(NsWin32::CFileHandle(p));
                std::lock_guard<std::mutex> done(m_mutex);
                session.finished = true;
            });
        }
        pipe = std::move(next);
    }
}

void CControlServer::ReapFinishedSessions()
{
    std::list<CSession> finished;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            auto next = std::next(it);
            if (it->finished)
                finished.splice(finished.end(), m_sessions, it);
            it = next;
        }
    }
    for (CSession& session : finished)
        session.thread.join();
}

void CControlServer::Serve(NsWin32::CFileHandle pipe)
{
    std::string pending;
    std::string request;
    while (ReadLine(pipe.Get(), &pending, &request)) {
        if (!WriteLine(pipe.Get(), Ask(request)))
            break;
        m_handler->AnswerSent(request);
    }
    FlushFileBuffers(pipe.Get());
    DisconnectNamedPipe(pipe.Get());
}

std::string CControlServer::Ask(const std::string& request)
{
    auto pending = std::make_shared<CPendingReply>();
    if (!pending->ready)
        return "error no-resources";
    m_handler->HandleRequest(request, [pending](const std::string& line) {
        std::lock_guard<std::mutex> lock(pending->mutex);
        if (pending->set)
            return;
        pending->line = line;
        pending->set = true;
        SetEvent(pending->ready.Get());
    });
    HANDLE waits[2] = {m_stopEvent.Get(), pending->ready.Get()};
    const DWORD result = WaitForMultipleObjects(2, waits, FALSE, m_replyTimeoutMs);
    std::lock_guard<std::mutex> lock(pending->mutex);
    if (result == WAIT_OBJECT_0 + 1)
        return pending->line;
    return result == WAIT_TIMEOUT ? "error timeout" : "error stopped";
}

bool CControlServer::ReadLine(HANDLE pipe, std::string* pending, std::string* line)
{
    std::string buffer(4096, '\0');
    for (;;) {
        const size_t eol = pending->find('\n');
        if (eol != std::string::npos) {
            *line = pending->substr(0, eol);
            pending->erase(0, eol + 1);
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
            return true;
        }
        if (pending->size() > kMaxRequest)
            return false;
        DWORD read = 0;
        if (!RunOverlapped(pipe, m_stopEvent.Get(), StartRead, &buffer[0], static_cast<DWORD>(buffer.size()), &read) ||
            read == 0) {
            return false;
        }
        pending->append(buffer.data(), read);
    }
}

bool CControlServer::WriteLine(HANDLE pipe, const std::string& line)
{
    std::string out = line + "\n";
    DWORD written = 0;
    return RunOverlapped(pipe, m_stopEvent.Get(), StartWrite, &out[0], static_cast<DWORD>(out.size()), &written) &&
           written == out.size();
}

} // namespace cefcompat
