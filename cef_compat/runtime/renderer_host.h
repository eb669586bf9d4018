// The browser process's side of one render process: starts it from the same executable,
// talks to it over the private pipe, and notices when it ends.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "include/internal/cef_types.h"
#include "runtime/ipc_channel.h"
#include "runtime/ipc_messages.h"
#include "runtime/values.h"
#include "Win32Owners.h"

namespace cefcompat {

class CBrowserRuntime;

class CRendererHost : private CIpcChannel::IListener {
public:
    // Both on the pipe's I/O thread; the owner hands them to the UI thread.
    using MessageFn = std::function<void(CIpcType type, const std::string& payload)>;
    using GoneFn = std::function<void(cef_termination_status_t status)>;

    CRendererHost(MessageFn onMessage, GoneFn onGone);
    CRendererHost(const CRendererHost&) = delete;
    CRendererHost& operator=(const CRendererHost&) = delete;
    ~CRendererHost();

    // UI thread: asks the application's hooks for the command line and extra information,
    // starts the process and queues the greeting. False when it could not be started.
    bool Launch(CBrowserRuntime& runtime, int browserId);
    // Any thread; queued until the render process has connected.
    bool Send(const std::string& payload);
    DWORD ProcessId() const { return m_processId; }
    bool IsRunning() const { return m_running; }
    // Closes the pipe, which ends the render process; kills it if it has not ended in time.
    void Stop();

private:
    void OnIpcConnected() OVERRIDE {}
    void OnIpcMessage(const std::string& payload) OVERRIDE;
    void OnIpcClosed() OVERRIDE;

    MessageFn m_onMessage;
    GoneFn m_onGone;
    NsWin32::CKernelHandle m_process;
    DWORD m_processId = 0;
    std::atomic<bool> m_running{false};
    std::unique_ptr<CIpcChannel> m_channel;
};

// Starts a payload of the given type.
CWireWriter IpcMessage(CIpcType type);

} // namespace cefcompat
