// The control pipe \\.\pipe\cefcompat-control-<process id>: one UTF-8 request per line, one
// answer line per request. Each client connection is served by its own session thread; a
// request waits at most its time-out for its answer.
#pragma once

#include <windows.h>

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Win32Owners.h"

namespace cefcompat {

class CControlServer {
public:
    // Delivers the answer line of one request; callable once, from any thread.
    using Reply = std::function<void(const std::string&)>;

    class IHandler {
    public:
        // On a session thread. |reply| may be called later, from another thread.
        virtual void HandleRequest(const std::string& line, Reply reply) = 0;
        // On the same session thread, once the answer to |line| is in the pipe: the place for an
        // effect that would keep its own answer from going out, such as a crash of this process.
        virtual void AnswerSent(const std::string& /*line*/) {}

    protected:
        ~IHandler() = default;
    };

    static std::wstring PipeName(DWORD processId);

    CControlServer(IHandler* handler, DWORD replyTimeoutMs);
    CControlServer(const CControlServer&) = delete;
    CControlServer& operator=(const CControlServer&) = delete;
    ~CControlServer();

    // The pipe exists when this returns, so a client may connect at once.
    bool Start();
    // Ends the listener and every session and waits for their threads.
    void Stop();

private:
    NsWin32::CFileHandle NewInstance() const;
    void Listen(NsWin32::CFileHandle first);
    void Serve(NsWin32::CFileHandle pipe);
    bool ReadLine(HANDLE pipe, std::string* pending, std::string* line);
    bool WriteLine(HANDLE pipe, const std::string& line);
    std::string Ask(const std::string& request);
    void ReapFinishedSessions();

    IHandler* const m_handler;
    const DWORD m_replyTimeoutMs;
    const std::wstring m_name;
    NsWin32::CKernelHandle m_stopEvent;
    std::thread m_listener;

    struct CSession {
        std::thread thread;
        bool finished = false;
    };
    std::mutex m_mutex;
    std::list<CSession> m_sessions;
};

} // namespace cefcompat
