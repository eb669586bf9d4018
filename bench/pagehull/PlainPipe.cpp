#include "PlainPipe.h"

#include "ByteOrder.h"
#include "CommandRecord.h"

#include <array>

namespace {

// The channel's pipe parameters.
constexpr DWORD kPipeBufferSize = 20480;
constexpr DWORD kPipeDefaultTimeoutMs = 100;
constexpr size_t kMaxRecord = NsChannel::kCommandRecordSize;
constexpr DWORD kPeerEndMs = 10000;

bool WriteAll(HANDLE pipe, const void* data, DWORD size)
{
    DWORD written = 0;
    return ::WriteFile(pipe, data, size, &written, nullptr) && written == size;
}

bool ReadAll(HANDLE pipe, void* buffer, DWORD size)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    for (DWORD done = 0; done < size;) {
        DWORD read = 0;
        // A message longer than the read is delivered in parts with ERROR_MORE_DATA.
        if (!::ReadFile(pipe, bytes + done, size - done, &read, nullptr) && ::GetLastError() != ERROR_MORE_DATA)
            return false;
        if (read == 0)
            return false;
        done += read;
    }
    return true;
}

bool WriteMessage(HANDLE pipe, const unsigned char* record, size_t size)
{
    unsigned char prefix[4];
    NsChannel::WriteInt32(prefix, static_cast<int32_t>(size));
    return WriteAll(pipe, prefix, sizeof prefix) && WriteAll(pipe, record, static_cast<DWORD>(size));
}

// Same content as the real ones, so both paths copy the same bytes.
const NsChannel::CommandRecord& QueryRecord()
{
    static const NsChannel::CommandRecord record = [] {
        NsChannel::Command query;
        query.code = NsChannel::CMD_GET_URL;
        NsChannel::CommandRecord encoded{};
        NsChannel::EncodeCommand(query, encoded);
        return encoded;
    }();
    return record;
}

const NsChannel::CommandRecord& PlainRecord()
{
    static const NsChannel::CommandRecord record = [] {
        NsChannel::Command back;
        back.code = NsChannel::CMD_GO_BACK;
        NsChannel::CommandRecord encoded{};
        NsChannel::EncodeCommand(back, encoded);
        return encoded;
    }();
    return record;
}

std::wstring UniqueName(const wchar_t* prefix)
{
    return prefix + std::to_wstring(::GetCurrentProcessId());
}

} // namespace

CPlainPipe::~CPlainPipe()
{
    // A closed pipe ends the peer's read, and with it the peer; one that never got connected
    // would wait for ever, so it is ended here.
    m_pipe.Reset();
    if (m_peer && ::WaitForSingleObject(m_peer.Get(), kPeerEndMs) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_peer.Get(), 1);
        ::WaitForSingleObject(m_peer.Get(), INFINITE);
    }
}

bool CPlainPipe::Start(const std::wstring& selfPath, DWORD timeoutMs)
{
    const std::wstring pipeName = UniqueName(L"\\\\.\\pipe\\pagehull-bench-plain-");
    const std::wstring readyName = UniqueName(L"Local\\pagehull-bench-plain-ready-");
    const NsWin32::CKernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    if (!ready)
        return false;
    std::wstring commandLine = L"\"" + selfPath + L"\" " + kPlainPipePeerSwitch + L" " + pipeName + L" " + readyName;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!::CreateProcessW(selfPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &created))
        return false;
    const NsWin32::CKernelHandle thread(created.hThread);
    m_peer.Reset(created.hProcess);
    const HANDLE waits[2] = {ready.Get(), m_peer.Get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, timeoutMs) != WAIT_OBJECT_0)
        return false;
    m_pipe.Reset(::CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return m_pipe.IsValid();
}

bool CPlainPipe::RoundTrip()
{
    const NsChannel::CommandRecord& query = QueryRecord();
    unsigned char prefix[4];
    NsChannel::ReplyRecord reply;
    return WriteMessage(m_pipe.Get(), query.data(), query.size()) && ReadAll(m_pipe.Get(), prefix, sizeof prefix) &&
           NsChannel::ReadInt32(prefix) == static_cast<int32_t>(reply.size()) &&
           ReadAll(m_pipe.Get(), reply.data(), static_cast<DWORD>(reply.size()));
}

bool CPlainPipe::SendCommand()
{
    return WriteMessage(m_pipe.Get(), PlainRecord().data(), PlainRecord().size());
}

int RunPlainPipePeer(const std::wstring& pipeName, const std::wstring& readyName)
{
    const NsWin32::CFileHandle pipe(
        ::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                           1, kPipeBufferSize, kPipeBufferSize, kPipeDefaultTimeoutMs, nullptr));
    const NsWin32::CKernelHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName.c_str()));
    if (!pipe || !ready || !::SetEvent(ready.Get()))
        return 1;
    if (!::ConnectNamedPipe(pipe.Get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED)
        return 1;
    const NsChannel::ReplyRecord reply = NsChannel::EncodeUrlReply(u"about:blank");
    std::array<unsigned char, kMaxRecord> record;
    for (;;) {
        unsigned char prefix[4];
        if (!ReadAll(pipe.Get(), prefix, sizeof prefix))
            return 0;
        const int32_t length = NsChannel::ReadInt32(prefix);
        if (length <= 0 || static_cast<size_t>(length) > record.size() ||
            !ReadAll(pipe.Get(), record.data(), static_cast<DWORD>(length)))
            return 0;
        if (NsChannel::ReadInt32(record.data()) == NsChannel::CMD_GET_URL &&
            !WriteMessage(pipe.Get(), reply.data(), reply.size()))
            return 0;
    }
}
