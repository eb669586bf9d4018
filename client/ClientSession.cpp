#include "ClientSession.h"

#include "SharedBlock.h"

#include <chrono>
#include <cstring>

namespace NsClient {

namespace {

// The host holds the frame mutex no longer than this, and waits no longer for it either.
constexpr DWORD kFrameMutexTimeoutMs = 500;
// A host that ignores the close command and is then terminated is gone well within this.
constexpr DWORD kTerminateTimeoutMs = 10000;
// Events nobody waits for are kept up to this many; later ones are dropped.
constexpr size_t kMaxQueuedEvents = 65536;

// Quotes one argument so that the usual command-line parser gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

// A job that ends its processes when its last handle goes, which the add-in's own end closes.
NsWin32::CKernelHandle CreateKillOnCloseJob()
{
    NsWin32::CKernelHandle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        job.Reset();
    return job;
}

} // namespace

CClientSession::CClientSession(int32_t index)
    : m_index(index),
      m_channel(static_cast<int32_t>(::GetCurrentProcessId()), index, this),
      m_stopWatch(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CClientSession::~CClientSession()
{
    Close(0);
}

DWORD CClientSession::HostProcessId() const
{
    return m_hostProcessId;
}

ph_status CClientSession::Open()
{
    return m_stopWatch && m_channel.Open(true) ? PH_OK : PH_CHANNEL_FAILED;
}

ph_status CClientSession::Start(const std::wstring& hostPath, const std::vector<std::wstring>& switches,
                                const std::wstring& address, DWORD timeoutMs)
{
    if (m_hostProcess)
        return PH_BAD_ARGUMENT;
    std::wstring commandLine = QuoteArgument(hostPath) + L" --idx=" + std::to_wstring(m_index) + L" --pid=" +
                               std::to_wstring(::GetCurrentProcessId());
    for (const std::wstring& value : switches)
        commandLine += L" " + QuoteArgument(value);
    commandLine += L" " + QuoteArgument(address);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Suspended until it sits in the job, so that every process it starts does too.
    if (!::CreateProcessW(hostPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &process))
        return PH_HOST_NOT_STARTED;
    const NsWin32::CKernelHandle thread(process.hThread);
    NsWin32::CKernelHandle host(process.hProcess);
    // Without a job (the add-in's own job may forbid it) the host still ends on its own when
    // it sees the add-in's process go.
    m_job = CreateKillOnCloseJob();
    if (m_job && !::AssignProcessToJobObject(m_job.Get(), host.Get()))
        m_job.Reset();
    ::ResumeThread(thread.Get());
    m_hostProcessId = process.dwProcessId;
    const ph_status watched = WatchHost(std::move(host));
    if (watched != PH_OK)
        return watched;
    return Attach(0, timeoutMs);
}

ph_status CClientSession::Attach(DWORD hostProcessId, DWORD timeoutMs)
{
    if (hostProcessId != 0 && !m_hostProcess) {
        NsWin32::CKernelHandle process(
            ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, hostProcessId));
        if (!process)
            return PH_BAD_ARGUMENT;
        m_hostProcessId = hostProcessId;
        const ph_status watched = WatchHost(std::move(process));
        if (watched != PH_OK)
            return watched;
    }
    if (!m_channel.WaitForClient(timeoutMs, m_hostProcess.Get()))
        return Unless(PH_NO_HOST);
    const std::lock_guard<std::mutex> guard(m_lock);
    m_connected = true;
    return PH_OK;
}

ph_status CClientSession::WatchHost(NsWin32::CKernelHandle process)
{
    m_hostProcess = std::move(process);
    return m_watchThread.Start(&CClientSession::WatchThread, this) ? PH_OK : PH_SYSTEM_ERROR;
}

DWORD WINAPI CClientSession::WatchThread(void* session)
{
    auto* self = static_cast<CClientSession*>(session);
    // The process comes first: a host that has ended is reported even when the session stops
    // at the same moment.
    const HANDLE handles[2] = {self->m_hostProcess.Get(), self->m_stopWatch.Get()};
    if (::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0)
        self->OnHostEnded();
    return 0;
}

void CClientSession::OnHostEnded()
{
    DWORD exitCode = 0;
    const bool known = ::GetExitCodeProcess(m_hostProcess.Get(), &exitCode) != FALSE;
    const std::lock_guard<std::mutex> guard(m_lock);
    m_hostEnded = true;
    m_exitCode = known ? static_cast<int32_t>(exitCode) : -1;
    m_changed.notify_all();
}

bool CClientSession::HostEnded()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_hostEnded;
}

bool CClientSession::IsClosed()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_closed;
}

ph_status CClientSession::Unless(ph_status status)
{
    return HostEnded() ? PH_HOST_ENDED : status;
}

void CClientSession::OnFrameData(const unsigned char* frameHeader, uint32_t blockSize)
{
    NsChannel::FrameInfo info;
    if (blockSize < NsChannel::kFrameHeaderOffset ||
        !NsChannel::ReadFrameHeader(frameHeader, blockSize - NsChannel::kFrameHeaderOffset, info))
        return;
    const std::lock_guard<std::mutex> guard(m_lock);
    m_frameWidth = info.width;
    m_frameHeight = info.height;
    if (!m_frameQueued && m_events.size() < kMaxQueuedEvents) {
        CTypedEvent frame;
        frame.kind = PH_EVENT_FRAME;
        m_events.push_back(std::move(frame));
        m_frameQueued = true;
    }
    m_changed.notify_all();
}

void CClientSession::OnBrowserEventData(const wchar_t* text, size_t length)
{
    const std::vector<std::u16string> texts = NsChannel::SplitEventTexts(std::u16string(text, text + length));
    const std::lock_guard<std::mutex> guard(m_lock);
    for (const std::u16string& one : texts) {
        if (m_events.size() < kMaxQueuedEvents)
            m_events.push_back(ParseEventText(std::wstring(one.begin(), one.end())));
    }
    m_changed.notify_all();
}

ph_status CClientSession::Wait(DWORD timeoutMs, const CTypedEvent*& event)
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                       [this] { return m_closed || !m_events.empty() || m_hostEnded; });
    if (m_closed)
        return PH_CLOSED;
    if (!m_events.empty()) {
        m_current = std::move(m_events.front());
        m_events.pop_front();
        if (m_current.kind == PH_EVENT_FRAME) {
            m_frameQueued = false;
            m_current.width = m_frameWidth;
            m_current.height = m_frameHeight;
        }
    } else if (m_hostEnded) {
        m_current = CTypedEvent();
        m_current.kind = PH_EVENT_HOST_ENDED;
        m_current.value = m_exitCode;
    } else {
        return PH_TIMEOUT;
    }
    for (const std::wstring& filter : m_current.filters)
        m_current.filterTexts.push_back(filter.c_str());
    event = &m_current;
    return PH_OK;
}

ph_status CClientSession::CopyFrame(void* pixels, uint32_t capacity, int32_t& width, int32_t& height,
                                    uint32_t& byteCount)
{
    const std::shared_lock<std::shared_mutex> use(m_useLock);
    if (IsClosed())
        return PH_CLOSED;
    ph_status status = PH_NO_FRAME;
    const auto read = [&](const unsigned char* header, uint32_t blockSize) {
        NsChannel::FrameInfo info;
        if (!NsChannel::ReadFrameHeader(header, blockSize - NsChannel::kFrameHeaderOffset, info) ||
            (info.width == 0 && info.height == 0))
            return;
        width = info.width;
        height = info.height;
        byteCount = static_cast<uint32_t>(info.pixelBytes);
        if (pixels == nullptr || capacity < byteCount) {
            status = PH_BUFFER_TOO_SMALL;
            return;
        }
        std::memcpy(pixels, header + NsChannel::kFrameHeaderSize, info.pixelBytes);
        status = PH_OK;
    };
    if (!m_channel.ReadFrameArea(read, kFrameMutexTimeoutMs))
        return PH_TIMEOUT;
    return status;
}

ph_status CClientSession::Send(const NsChannel::Command& command, DWORD timeoutMs)
{
    const std::shared_lock<std::shared_mutex> use(m_useLock);
    return SendInUse(command, timeoutMs);
}

ph_status CClientSession::SendInUse(const NsChannel::Command& command, DWORD timeoutMs)
{
    NsChannel::CommandRecord record;
    if (!NsChannel::EncodeCommand(command, record))
        return PH_TEXT_TOO_LONG;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed)
            return PH_CLOSED;
        if (!m_connected)
            return m_hostEnded ? PH_HOST_ENDED : PH_NO_HOST;
    }
    return m_channel.SendCommand(record, timeoutMs) ? PH_OK : Unless(PH_SEND_FAILED);
}

ph_status CClientSession::Query(NsChannel::CommandCode code, NsChannel::Reply& reply, DWORD timeoutMs)
{
    const std::lock_guard<std::mutex> oneQuery(m_queryLock);
    const std::shared_lock<std::shared_mutex> use(m_useLock);
    const NsWin32::CDeadline deadline(timeoutMs);
    NsChannel::ReplyRecord record;
    for (; m_repliesOwed > 0; --m_repliesOwed) {
        if (!m_channel.ReadReply(record, deadline.Remaining()))
            return Unless(PH_TIMEOUT);
    }
    NsChannel::Command command;
    command.code = code;
    const ph_status sent = SendInUse(command, deadline.Remaining());
    if (sent != PH_OK)
        return sent;
    if (!m_channel.ReadReply(record, deadline.Remaining())) {
        ++m_repliesOwed;
        return Unless(PH_TIMEOUT);
    }
    return NsChannel::DecodeReply(record.data(), record.size(), reply) ? PH_OK : PH_SYSTEM_ERROR;
}

// A host that does not end after its close command in time is ended outright.
void CClientSession::EndHost(DWORD timeoutMs)
{
    if (!m_hostProcess || ::WaitForSingleObject(m_hostProcess.Get(), 0) != WAIT_TIMEOUT)
        return;
    NsChannel::Command close;
    close.code = NsChannel::CMD_CLOSE;
    const NsWin32::CDeadline deadline(timeoutMs);
    NsChannel::CommandRecord record;
    if (NsChannel::EncodeCommand(close, record) && m_connected)
        m_channel.SendCommand(record, deadline.Remaining());
    if (::WaitForSingleObject(m_hostProcess.Get(), deadline.Remaining()) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_hostProcess.Get(), 1);
        ::WaitForSingleObject(m_hostProcess.Get(), kTerminateTimeoutMs);
    }
}

void CClientSession::Close(DWORD timeoutMs)
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed)
            return;
        m_closed = true;
        m_changed.notify_all();
    }
    // Calls already in the channel end within their own time-outs; new ones see the flag.
    const std::unique_lock<std::shared_mutex> use(m_useLock);
    EndHost(timeoutMs);
    m_channel.Close();
    if (m_stopWatch)
        ::SetEvent(m_stopWatch.Get());
    m_watchThread.Join();
    m_job.Reset();
}

} // namespace NsClient
