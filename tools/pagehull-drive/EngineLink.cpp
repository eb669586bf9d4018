#include "EngineLink.h"

#include "OverlappedPipe.h"

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
    if (NsWin32::WritePipe(m_pipe.Get(), line.data(), static_cast<DWORD>(line.size()), nullptr,
                           deadline.Remaining()) != NsWin32::PipeIoResult::Done)
        return std::nullopt;
    // Byte by byte: the answer's end is its line end, and nothing after it is ours to take.
    std::string answer;
    for (char c = 0; answer.size() < kMaxAnswerBytes;) {
        if (NsWin32::ReadPipe(m_pipe.Get(), &c, 1, nullptr, deadline.Remaining()) != NsWin32::PipeIoResult::Done)
            return std::nullopt;
        if (c == '\n') {
            if (!answer.empty() && answer.back() == '\r')
                answer.pop_back();
            return answer;
        }
        answer.push_back(c);
    }
    return std::nullopt;
}
