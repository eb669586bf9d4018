#include "EngineLink.h"

namespace {

// Answers to the requests a demo sends are one short line; a longer one is not an answer.
constexpr size_t kMaxAnswerBytes = 64 * 1024;

} // namespace

bool CEngineLink::Connect(DWORD processId, DWORD timeoutMs)
{
    const std::wstring name = L"\\\\.\\pipe\\cefcompat-control-" + std::to_wstring(processId);
    const NsWin32::CDeadline deadline(timeoutMs);
    for (;;) {
        m_pipe.Reset(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr));
        if (m_pipe || ::GetLastError() != ERROR_PIPE_BUSY)
            return m_pipe.IsValid();
        // Every instance is serving another client: wait for one to come free.
        const DWORD remaining = deadline.Remaining();
        if (remaining == 0 || !::WaitNamedPipeW(name.c_str(), remaining))
            return false;
    }
}

std::optional<std::string> CEngineLink::Request(const std::string& request, DWORD timeoutMs)
{
    const NsWin32::CDeadline deadline(timeoutMs);
    const std::string line = request + "\n";
    if (m_io.Write(m_pipe.Get(), line.data(), static_cast<DWORD>(line.size()), nullptr, deadline.Remaining()) !=
        NsWin32::PipeIoResult::Done)
        return std::nullopt;
    // Whatever follows the answer's line end stays for the next request.
    size_t end = 0;
    while ((end = m_pending.find('\n')) == std::string::npos) {
        char chunk[4096];
        DWORD received = 0;
        if (m_pending.size() >= kMaxAnswerBytes ||
            m_io.ReadSome(m_pipe.Get(), chunk, sizeof chunk, nullptr, deadline.Remaining(), received) !=
                NsWin32::PipeIoResult::Done)
            return std::nullopt;
        m_pending.append(chunk, received);
    }
    std::string answer = m_pending.substr(0, end);
    m_pending.erase(0, end + 1);
    if (!answer.empty() && answer.back() == '\r')
        answer.pop_back();
    return answer;
}
