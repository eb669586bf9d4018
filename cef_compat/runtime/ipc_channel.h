// One end of the private pipe between the browser process and a render process: framed
// messages (32-bit length, then the bytes) in both directions, served by one I/O thread.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Win32Owners.h"

namespace cefcompat {

class CIpcChannel {
public:
    class IListener {
    public:
        // All three on the channel's I/O thread.
        virtual void OnIpcConnected() = 0;
        virtual void OnIpcMessage(const std::string& payload) = 0;
        // Once, when the peer has gone or sent something malformed (not after Stop).
        virtual void OnIpcClosed() = 0;

    protected:
        ~IListener() = default;
    };

    // The server end exists as soon as this returns, so a peer started afterwards finds it.
    static std::unique_ptr<CIpcChannel> CreateServer(const std::wstring& name);
    static std::unique_ptr<CIpcChannel> ConnectClient(const std::wstring& name);

    CIpcChannel(const CIpcChannel&) = delete;
    CIpcChannel& operator=(const CIpcChannel&) = delete;
    ~CIpcChannel();

    // |peerProcess| (may be null) ends the wait for a client that dies before connecting; the
    // handle must stay valid until Stop.
    bool Start(IListener* listener, HANDLE peerProcess);
    // Any thread; queued until connected. False once the channel has closed.
    bool Send(const std::string& payload);
    // Any thread but the I/O thread: ends the I/O thread and waits for it.
    void Stop();

private:
    CIpcChannel(NsWin32::CFileHandle pipe, bool server);
    void Run();
    bool WaitForClient();
    bool Pump();
    bool TakeFrames(std::string* buffer);
    void MarkClosed();

    NsWin32::CFileHandle m_pipe;
    const bool m_server;
    NsWin32::CKernelHandle m_stopEvent;
    NsWin32::CKernelHandle m_sendEvent;
    IListener* m_listener = nullptr;
    HANDLE m_peerProcess = nullptr;

    std::mutex m_mutex;
    std::deque<std::string> m_outgoing;
    bool m_closed = false;

    std::thread m_thread;
};

} // namespace cefcompat
