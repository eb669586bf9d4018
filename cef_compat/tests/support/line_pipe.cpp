#include "line_pipe.h"

#include <cstring>

namespace cefcompat_test {

std::unique_ptr<CLinePipe> CLinePipe::CreateServer(const std::wstring& name)
{
    HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::unique_ptr<CLinePipe>(new CLinePipe(pipe));
}

std::unique_ptr<CLinePipe> CLinePipe::Connect(const std::wstring& name, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HANDLE pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            return std::unique_ptr<CLinePipe>(new CLinePipe(pipe));
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return nullptr;
        // A busy pipe has a free instance soon; WaitNamedPipe waits for it without polling.
        if (GetLastError() == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(name.c_str(), timeoutMs - elapsed);
        } else {
            return nullptr;
        }
    }
}

bool CLinePipe::Transfer(bool write, void* buffer, DWORD size, DWORD* done, DWORD timeoutMs, HANDLE stop)
{
    CHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof(ov));
    ov.hEvent = event.Get();
    const BOOL started = write ? WriteFile(m_pipe.Get(), buffer, size, nullptr, &ov)
                               : ReadFile(m_pipe.Get(), buffer, size, nullptr, &ov);
    if (!started && GetLastError() != ERROR_IO_PENDING)
        return false;
    HANDLE waits[2] = {event.Get(), stop};
    const DWORD result = WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, timeoutMs);
    if (result != WAIT_OBJECT_0) {
        CancelIo(m_pipe.Get());
        GetOverlappedResult(m_pipe.Get(), &ov, done, TRUE);
        return false;
    }
    return GetOverlappedResult(m_pipe.Get(), &ov, done, FALSE) != FALSE;
}

bool CLinePipe::WaitForClient(DWORD timeoutMs)
{
    CHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof(ov));
    ov.hEvent = event.Get();
    if (ConnectNamedPipe(m_pipe.Get(), &ov))
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED)
        return true;
    if (error != ERROR_IO_PENDING)
        return false;
    if (WaitForSingleObject(event.Get(), timeoutMs) != WAIT_OBJECT_0) {
        CancelIo(m_pipe.Get());
        DWORD ignored = 0;
        GetOverlappedResult(m_pipe.Get(), &ov, &ignored, TRUE);
        return false;
    }
    DWORD ignored = 0;
    return GetOverlappedResult(m_pipe.Get(), &ov, &ignored, FALSE) != FALSE;
}

bool CLinePipe::WriteLine(const std::string& line, DWORD timeoutMs)
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    std::string out = line + "\n";
    DWORD written = 0;
    return Transfer(true, &out[0], static_cast<DWORD>(out.size()), &written, timeoutMs, nullptr) &&
           written == out.size();
}

bool CLinePipe::ReadLine(std::string* line, DWORD timeoutMs, HANDLE stop)
{
    char buffer[4096];
    for (;;) {
        const size_t eol = m_pending.find('\n');
        if (eol != std::string::npos) {
            *line = m_pending.substr(0, eol);
            m_pending.erase(0, eol + 1);
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
            return true;
        }
        DWORD read = 0;
        if (!Transfer(false, buffer, sizeof(buffer), &read, timeoutMs, stop) || read == 0)
            return false;
        m_pending.append(buffer, read);
    }
}

std::vector<std::string> Tokens(const std::string& line)
{
    std::vector<std::string> tokens;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        size_t end = line.find(' ', pos);
        if (end == std::string::npos)
            end = line.size();
        if (end > pos)
            tokens.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return tokens;
}

std::string Field(const std::string& line, const std::string& key)
{
    const std::string prefix = key + "=";
    for (const std::string& token : Tokens(line)) {
        if (token.compare(0, prefix.size(), prefix) == 0)
            return token.substr(prefix.size());
    }
    return std::string();
}

bool HasTokens(const std::string& line, const std::vector<std::string>& terms)
{
    const std::vector<std::string> tokens = Tokens(line);
    for (const std::string& term : terms) {
        bool found = false;
        for (const std::string& token : tokens)
            found = found || token == term;
        if (!found)
            return false;
    }
    return true;
}

std::string Encode(const std::string& utf8)
{
    if (utf8.empty())
        return "-";
    if (utf8 == "-")
        return "%2D";
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8) {
        if (c <= 0x20 || c == 0x7F || c == '%' || c == ',') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Decode(const std::string& token)
{
    if (token == "-")
        return std::string();
    std::string out;
    for (size_t i = 0; i < token.size(); ++i) {
        if (token[i] == '%' && i + 2 < token.size()) {
            out += static_cast<char>(std::stoi(token.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += token[i];
        }
    }
    return out;
}

} // namespace cefcompat_test
