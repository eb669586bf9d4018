// Line-based named pipes for the tests: one side of the test client's pipe, and the test's
// connection to the runtime's control pipe. Every wait is bounded.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cefcompat_test {

// Closes a kernel handle once.
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    CHandle(CHandle&& o) noexcept : m_h(o.m_h) { o.m_h = nullptr; }
    CHandle& operator=(CHandle&& o) noexcept
    {
        if (this != &o) {
            Reset();
            m_h = o.m_h;
            o.m_h = nullptr;
        }
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    ~CHandle() { Reset(); }
    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Reset()
    {
        if (m_h)
            CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};

class CLinePipe {
public:
    static std::unique_ptr<CLinePipe> CreateServer(const std::wstring& name);
    // Retries until the server exists or |timeoutMs| has passed.
    static std::unique_ptr<CLinePipe> Connect(const std::wstring& name, DWORD timeoutMs);

    bool WaitForClient(DWORD timeoutMs);
    // Any thread.
    bool WriteLine(const std::string& line, DWORD timeoutMs);
    // One reader at a time. False on time-out, a broken pipe, or |stop| being set.
    bool ReadLine(std::string* line, DWORD timeoutMs, HANDLE stop = nullptr);

private:
    explicit CLinePipe(HANDLE pipe) : m_pipe(pipe) {}
    bool Transfer(bool write, void* buffer, DWORD size, DWORD* done, DWORD timeoutMs, HANDLE stop);

    CHandle m_pipe;
    std::mutex m_writeMutex;
    std::string m_pending;
};

std::vector<std::string> Tokens(const std::string& line);
// The value of "key=value" among a line's tokens; empty when absent.
std::string Field(const std::string& line, const std::string& key);
bool HasTokens(const std::string& line, const std::vector<std::string>& terms);
// Percent-encoding as the runtime's journal writes text values.
std::string Encode(const std::string& utf8);
std::string Decode(const std::string& token);

} // namespace cefcompat_test
