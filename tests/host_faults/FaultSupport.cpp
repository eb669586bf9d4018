#include "FaultSupport.h"

#include "ByteOrder.h"
#include "OverlappedPipe.h"
#include "SharedBlock.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

using NsWin32::CKernelHandle;
using NsWin32::PipeIoResult;

namespace NsFaultTest {

namespace {

// The add-in's pipe parameters.
constexpr DWORD kPipeBufferSize = 20480;
constexpr DWORD kPipeDefaultTimeoutMs = 100;

constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kStatusInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

struct SystemHandleEntry {
    ULONG processId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

struct SystemHandleTable {
    ULONG count;
    SystemHandleEntry entries[1];
};

size_t CountHandlesInSystemTable(DWORD processId)
{
    using QueryFunction = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return 0;
    std::vector<unsigned char> buffer(1 << 20);
    NTSTATUS status = 0;
    for (;;) {
        ULONG needed = 0;
        status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status != kStatusInfoLengthMismatch || buffer.size() >= (size_t{1} << 28))
            break;
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0)
        return 0;
    const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    const size_t capacity = (buffer.size() - offsetof(SystemHandleTable, entries)) / sizeof(SystemHandleEntry);
    const size_t count = std::min<size_t>(table->count, capacity);
    return static_cast<size_t>(std::count_if(table->entries, table->entries + count,
                                             [&](const SystemHandleEntry& e) { return e.processId == processId; }));
}

template <typename Visit>
void ForEachThreadOf(DWORD processId, Visit visit)
{
    const NsWin32::CFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID == processId)
            visit(entry.th32ThreadID);
    }
}

uint64_t Ticks(const FILETIME& time)
{
    return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

std::wstring UniqueName(const wchar_t* purpose)
{
    static std::atomic<int> next{0};
    return std::wstring(L"Local\\pagehull-faults-") + purpose + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(next++);
}

// The CPU time of one process's threads, followed through a window by repeated samples. Wine's
// GetProcessTimes is not kept up to date for another process, and a sum over the threads that
// run now loses the time of a thread that ends, so it can go down between two samples. Each
// thread is therefore followed by itself, through a handle held from the sample that first sees
// it (which keeps its id from being reused), and counted at the most it was ever seen to use: a
// thread that ends keeps what it did before, and a thread that starts in the window brings all
// of its time. Only a thread that starts and ends between two samples goes unseen, which bounds
// what can hide to one sample interval per such thread.
class CCpuMeter {
public:
    explicit CCpuMeter(DWORD processId) : m_processId(processId)
    {
        ::GetSystemTimeAsFileTime(&m_start);
        Sample(true);
    }

    void Sample() { Sample(false); }

    uint64_t UsedMs() const
    {
        uint64_t ms = 0;
        for (const auto& [id, thread] : m_threads)
            ms += thread.UsedMs();
        return ms;
    }

    // The threads that used time in the window, for a failure's message.
    std::string Busiest() const
    {
        std::string text;
        for (const auto& [id, thread] : m_threads) {
            const uint64_t ms = thread.UsedMs();
            if (ms > 0)
                text += " thread " + std::to_string(id) + (thread.first == 0 ? " (new)" : "") + ": " +
                        std::to_string(ms) + " ms;";
        }
        return text;
    }

private:
    struct SThread {
        CKernelHandle handle;
        uint64_t first;
        uint64_t most;

        uint64_t UsedMs() const { return (most - first) / 10000; }
    };

    struct STimes {
        uint64_t created;
        uint64_t used;
    };

    static std::optional<STimes> TimesOf(HANDLE thread)
    {
        FILETIME created, ended, kernel, user;
        if (!::GetThreadTimes(thread, &created, &ended, &kernel, &user))
            return std::nullopt;
        return STimes{Ticks(created), Ticks(kernel) + Ticks(user)};
    }

    void Sample(bool atStart)
    {
        ForEachThreadOf(m_processId, [&](DWORD threadId) {
            if (m_threads.count(threadId) != 0)
                return;
            CKernelHandle handle(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId));
            const std::optional<STimes> times = handle ? TimesOf(handle.Get()) : std::nullopt;
            if (!times)
                return;
            // Only a thread born in the window brings its whole time; one that the first sample
            // missed brings what it uses from now on, so that nothing from before is invented.
            const bool bornInWindow = !atStart && times->created >= Ticks(m_start);
            const uint64_t first = bornInWindow ? 0 : times->used;
            m_threads.emplace(threadId, SThread{std::move(handle), first, times->used});
        });
        for (auto& [id, thread] : m_threads) {
            if (const std::optional<STimes> times = TimesOf(thread.handle.Get()))
                thread.most = std::max(thread.most, times->used);
        }
    }

    DWORD m_processId;
    FILETIME m_start = {};
    std::map<DWORD, SThread> m_threads;
};

} // namespace

bool IsFullScale()
{
    const char* scale = std::getenv("FAULT_SUITE");
    return scale != nullptr && std::strcmp(scale, "full") == 0;
}

size_t Scaled(size_t full, size_t reduced)
{
    return IsFullScale() ? full : reduced;
}

CProcessCounters ReadCounters(HANDLE process, DWORD processId)
{
    CProcessCounters counters;
    DWORD handles = 0;
    if (::GetProcessHandleCount(process, &handles) && handles > 0)
        counters.handles = handles;
    else
        counters.handles = CountHandlesInSystemTable(processId);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory)))
        counters.privateBytes = std::max<uint64_t>(memory.PrivateUsage, memory.PagefileUsage);
    ForEachThreadOf(processId, [&](DWORD) { ++counters.threads; });
    return counters;
}

std::string Describe(const CProcessCounters& counters)
{
    return std::to_string(counters.handles) + " handles, " + std::to_string(counters.threads) + " threads, " +
           std::to_string(counters.privateBytes / 1024) + " KB private";
}

::testing::AssertionResult StaysIdle(const NsHostTest::CChildProcess& host, DWORD windowMs)
{
    constexpr DWORD kSampleMs = 50;
    // What the test asked for last (pages to load and paint) may still be under way in the first
    // window; a spinning thread never settles, so it fails every window.
    constexpr int kWindows = 5;
    std::string last;
    for (int window = 0; window < kWindows; ++window) {
        CCpuMeter meter(host.Id());
        // The window is what is measured: the host must not end within it.
        for (DWORD waited = 0; waited < windowMs; waited += kSampleMs) {
            if (::WaitForSingleObject(host.Handle(), std::min(kSampleMs, windowMs - waited)) != WAIT_TIMEOUT)
                return ::testing::AssertionFailure() << "the host ended";
            meter.Sample();
        }
        const uint64_t used = meter.UsedMs();
        if (used <= windowMs / 5)
            return ::testing::AssertionSuccess();
        last = std::to_string(used) + " ms:" + meter.Busiest();
    }
    return ::testing::AssertionFailure() << "the host used more than a fifth of each of " << kWindows << " windows of "
                                         << windowMs << " ms; in the last, " << last;
}

CAddinProcess::CAddinProcess(int32_t channelPid, int32_t index, const std::vector<ChannelObject>& mutexes)
    : m_takeName(UniqueName(L"take")),
      m_heldName(UniqueName(L"held")),
      m_take(::CreateEventW(nullptr, TRUE, FALSE, m_takeName.c_str())),
      m_held(::CreateEventW(nullptr, TRUE, FALSE, m_heldName.c_str())),
      m_process(NsHostTest::BinaryPath(L"host_faults_addin.exe"), [&] {
          std::wstring arguments = std::to_wstring(::GetCurrentProcessId()) + L" " + m_takeName + L" " + m_heldName +
                                   L" " + std::to_wstring(channelPid) + L" " + std::to_wstring(index);
          for (const ChannelObject mutex : mutexes)
              arguments += mutex == ChannelObject::FrameMutex ? L" frame" : L" event";
          return arguments;
      }())
{
}

bool CAddinProcess::TakeMutexes()
{
    ::SetEvent(m_take.Get());
    const HANDLE handles[2] = {m_held.Get(), m_process.Handle()};
    return ::WaitForMultipleObjects(2, handles, FALSE, kTimeoutMs) == WAIT_OBJECT_0;
}

CObservedLock::CObservedLock(HANDLE mutex, DWORD timeoutMs)
    : m_mutex(mutex),
      m_result(::WaitForSingleObject(mutex, timeoutMs))
{
}

CObservedLock::~CObservedLock()
{
    if (Owns())
        ::ReleaseMutex(m_mutex);
}

CManualAddin::CManualAddin(int32_t processId, int32_t index)
{
    const auto name = [&](ChannelObject object) { return CChannelControl::ObjectName(object, processId, index); };
    m_eventSignal.Reset(::CreateEventW(nullptr, FALSE, FALSE, name(ChannelObject::BrowserEventSignal).c_str()));
    m_eventMutex.Reset(::CreateMutexW(nullptr, FALSE, name(ChannelObject::BrowserEventMutex).c_str()));
    m_frameSignal.Reset(::CreateEventW(nullptr, FALSE, FALSE, name(ChannelObject::FrameSignal).c_str()));
    m_frameMutex.Reset(::CreateMutexW(nullptr, FALSE, name(ChannelObject::FrameMutex).c_str()));
    m_mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(NsChannel::kBlockSize),
                                         name(ChannelObject::Memory).c_str()));
    if (m_mapping)
        m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, NsChannel::kBlockSize));
    m_pipe.Reset(::CreateNamedPipeW(name(ChannelObject::Pipe).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                    kPipeBufferSize, kPipeBufferSize, kPipeDefaultTimeoutMs, nullptr));
}

bool CManualAddin::WaitForHost(HANDLE host)
{
    return NsWin32::ConnectPipe(m_pipe.Get(), host, kTimeoutMs) == PipeIoResult::Done;
}

bool CManualAddin::Write(const void* data, size_t size)
{
    return NsWin32::WritePipe(m_pipe.Get(), data, static_cast<DWORD>(size), nullptr, kTimeoutMs) == PipeIoResult::Done;
}

bool CManualAddin::WriteLength(int32_t length)
{
    unsigned char prefix[4];
    NsChannel::WriteInt32(prefix, length);
    return Write(prefix, sizeof prefix);
}

bool CManualAddin::Send(const NsChannel::Command& command)
{
    NsChannel::CommandRecord record = {};
    return NsChannel::EncodeCommand(command, record) && WriteLength(static_cast<int32_t>(record.size())) &&
           Write(record.data(), record.size());
}

std::optional<NsChannel::Reply> CManualAddin::ReadReply(DWORD timeoutMs)
{
    const NsWin32::CDeadline deadline(timeoutMs);
    unsigned char prefix[4];
    if (NsWin32::ReadPipe(m_pipe.Get(), prefix, sizeof prefix, nullptr, deadline.Remaining()) != PipeIoResult::Done ||
        NsChannel::ReadInt32(prefix) != static_cast<int32_t>(NsChannel::kReplyRecordSize))
        return std::nullopt;
    NsChannel::ReplyRecord record = {};
    NsChannel::Reply reply;
    if (NsWin32::ReadPipe(m_pipe.Get(), record.data(), static_cast<DWORD>(record.size()), nullptr,
                          deadline.Remaining()) != PipeIoResult::Done ||
        !NsChannel::DecodeReply(record.data(), record.size(), reply))
        return std::nullopt;
    return reply;
}

std::optional<std::wstring> CManualAddin::QueryUrl()
{
    if (!Send(NsHostTest::MakeCommand(NsChannel::CMD_GET_URL)))
        return std::nullopt;
    const std::optional<NsChannel::Reply> reply = ReadReply();
    if (!reply || reply->kind != NsChannel::REPLY_URL)
        return std::nullopt;
    return std::wstring(reply->url.begin(), reply->url.end());
}

std::optional<std::u16string> CManualAddin::TakeEvents(DWORD timeoutMs, HANDLE giveUp)
{
    const NsWin32::CDeadline deadline(timeoutMs);
    const HANDLE handles[2] = {m_eventSignal.Get(), giveUp};
    if (!m_view || ::WaitForMultipleObjects(giveUp ? 2 : 1, handles, FALSE, timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    const CObservedLock lock(m_eventMutex.Get(), deadline.Remaining());
    if (!lock.Owns())
        return std::nullopt;
    m_foundAbandoned = m_foundAbandoned || lock.WasAbandoned();
    unsigned char* area = m_view.Bytes() + NsChannel::kEventAreaOffset;
    std::u16string text = NsChannel::ReadEventArea(area);
    std::memset(area, 0, NsChannel::kEventAreaSize);
    const std::vector<std::u16string> texts = NsChannel::SplitEventTexts(text);
    m_events.insert(m_events.end(), texts.begin(), texts.end());
    return text;
}

bool CManualAddin::WaitForEvent(const std::u16string& text)
{
    const NsWin32::CDeadline deadline(kTimeoutMs);
    for (;;) {
        const auto begin = m_events.begin() + static_cast<std::ptrdiff_t>(m_consumed);
        const auto match = std::find(begin, m_events.end(), text);
        if (match != m_events.end()) {
            m_consumed = static_cast<size_t>(match - m_events.begin()) + 1;
            return true;
        }
        if (!TakeEvents(deadline.Remaining()))
            return false;
    }
}

std::optional<CManualAddin::CFrameHeader> CManualAddin::TakeFrame(DWORD timeoutMs)
{
    const NsWin32::CDeadline deadline(timeoutMs);
    if (!m_view || ::WaitForSingleObject(m_frameSignal.Get(), timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    return ReadFrameHeader(deadline.Remaining());
}

bool CManualAddin::WaitForFrame(int32_t width, int32_t height)
{
    const NsWin32::CDeadline deadline(kTimeoutMs);
    for (;;) {
        const std::optional<CFrameHeader> frame = TakeFrame(deadline.Remaining());
        if (!frame)
            return false;
        if (frame->width == width && frame->height == height)
            return true;
    }
}

std::optional<CManualAddin::CFrameHeader> CManualAddin::CurrentFrame()
{
    return m_view ? ReadFrameHeader(kTimeoutMs) : std::nullopt;
}

std::optional<CManualAddin::CFrameHeader> CManualAddin::ReadFrameHeader(DWORD timeoutMs)
{
    const CObservedLock lock(m_frameMutex.Get(), timeoutMs);
    if (!lock.Owns())
        return std::nullopt;
    m_foundAbandoned = m_foundAbandoned || lock.WasAbandoned();
    const unsigned char* header = m_view.Bytes() + NsChannel::kFrameHeaderOffset;
    return CFrameHeader{NsChannel::ReadInt32(header), NsChannel::ReadInt32(header + 4)};
}

CPendingRequest::CPendingRequest(const NsHostTest::CChildProcess& host, std::string line)
    : m_thread([this, &host, line = std::move(line)] {
          NsHostTest::CEngineControl engine(host);
          if (engine.IsConnected())
              m_answer = engine.Request(line);
      })
{
}

CPendingRequest::~CPendingRequest()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<std::string> CPendingRequest::Answer()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_answer;
}

std::vector<unsigned char> Framed(int32_t length, const void* record, size_t size)
{
    std::vector<unsigned char> bytes(4 + size);
    NsChannel::WriteInt32(bytes.data(), length);
    if (size > 0)
        std::memcpy(bytes.data() + 4, record, size);
    return bytes;
}

std::vector<unsigned char> FramedCommand(const NsChannel::Command& command)
{
    NsChannel::CommandRecord record = {};
    NsChannel::EncodeCommand(command, record);
    return Framed(static_cast<int32_t>(record.size()), record.data(), record.size());
}

std::u16string U16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

} // namespace NsFaultTest
