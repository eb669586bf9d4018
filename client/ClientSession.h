#pragma once

// One host as its add-in sees it: the channel in the server role, the host's process (and the
// job that ends it with the add-in), the queue of what happened, and the commands and queries.
// Threads: the channel's server thread fills the queue, the watch thread reports the host's end,
// callers wait, send and read frames from any thread (pagehull_client.h has the rules).

#include "ChannelControl.h"
#include "CommandRecord.h"
#include "EventText.h"
#include "Win32Handles.h"
#include "pagehull_client.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

namespace NsClient {

class CClientSession : private IChannelControlConsumer {
public:
    // The key is this process's id and index; the index must have been reserved by the caller.
    explicit CClientSession(int32_t index);
    ~CClientSession() override;

    CClientSession(const CClientSession&) = delete;
    CClientSession& operator=(const CClientSession&) = delete;

    int32_t Index() const { return m_index; }
    DWORD HostProcessId() const;

    ph_status Open();
    ph_status Start(const std::wstring& hostPath, const std::vector<std::wstring>& switches,
                    const std::wstring& address, DWORD timeoutMs);
    ph_status Attach(DWORD hostProcessId, DWORD timeoutMs);

    // The event stays the session's until the next Wait.
    ph_status Wait(DWORD timeoutMs, const CTypedEvent*& event);
    ph_status CopyFrame(void* pixels, uint32_t capacity, int32_t& width, int32_t& height, uint32_t& byteCount);
    ph_status Send(const NsChannel::Command& command, DWORD timeoutMs);
    ph_status Query(NsChannel::CommandCode code, NsChannel::Reply& reply, DWORD timeoutMs);

    // Asks a running host to close, ends it when it does not in time, and releases everything.
    void Close(DWORD timeoutMs);

private:
    void OnFrameData(const unsigned char* frameHeader, uint32_t blockSize) override;
    void OnBrowserEventData(const wchar_t* text, size_t length) override;

    ph_status WatchHost(NsWin32::CKernelHandle process);
    static DWORD WINAPI WatchThread(void* session);
    void OnHostEnded();
    bool HostEnded();
    bool IsClosed();
    // Send for a caller that holds m_useLock.
    ph_status SendInUse(const NsChannel::Command& command, DWORD timeoutMs);
    // PH_HOST_ENDED once the host is gone, else the given status.
    ph_status Unless(ph_status status);
    void EndHost(DWORD timeoutMs);

    const int32_t m_index;
    CChannelControl m_channel;
    // Held shared by every call that uses the channel, exclusively by Close to release it.
    std::shared_mutex m_useLock;
    // One query at a time: replies carry no identifier, only their order.
    std::mutex m_queryLock;
    // Replies of queries that timed out, read off the pipe before the next query's own.
    int m_repliesOwed = 0;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<CTypedEvent> m_events;
    bool m_frameQueued = false;
    int32_t m_frameWidth = 0;
    int32_t m_frameHeight = 0;
    CTypedEvent m_current;
    bool m_connected = false;
    bool m_hostEnded = false;
    int32_t m_exitCode = -1;
    bool m_closed = false;

    NsWin32::CKernelHandle m_job;
    NsWin32::CKernelHandle m_hostProcess;
    DWORD m_hostProcessId = 0;
    NsWin32::CKernelHandle m_stopWatch;
    NsWin32::CThreadOwner m_watchThread;
};

} // namespace NsClient
