#pragma once

// The add-in's side of one host: the channel in the server role, the host's process, and the
// steps of a script played against them. Every wait has a time limit, and every outcome is
// one of the exit codes below.

#include "ChannelControl.h"
#include "DriveScript.h"
#include "EngineLink.h"
#include "Win32Handles.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

enum class DriveExit : int {
    Ok = 0,
    Usage = 1, // bad arguments or script
    StartFailed = 2, // no channel, the host did not start, or it never opened the pipe
    TimedOut = 3, // an event text, frame, reply or the host's end did not come in time
    Mismatch = 4, // a query's answer differed from the expected one
    HostGone = 5, // the host ended or its pipe broke before a step was done
    NoPicture = 6, // no frame yet, or the picture could not be written
};

// Where the session reports: results on one line each, failures as messages. Print is also
// called on the channel's thread (event texts) and on the process watch (the host's end).
class IDriveOutput {
public:
    virtual ~IDriveOutput() = default;
    virtual void Print(const std::wstring& line) = 0;
    virtual void Fail(const std::wstring& message) = 0;
};

class CDriveSession : private IChannelControlConsumer {
public:
    CDriveSession(int32_t processId, int32_t index, IDriveOutput& output, uint32_t timeoutMs);
    ~CDriveSession() override;

    CDriveSession(const CDriveSession&) = delete;
    CDriveSession& operator=(const CDriveSession&) = delete;

    DriveExit Open();
    // Starts the host with this session's key (its process id must be this process's) and
    // the address, then waits for its pipe.
    // |switches|: further switches of the host's command line (CEF's, for example).
    DriveExit Launch(const std::wstring& hostPath, const std::vector<std::wstring>& switches,
                     const std::wstring& address);
    // Waits for a host started by someone else to open the pipe.
    DriveExit AwaitHost();
    DriveExit Run(const std::vector<DriveStep>& steps);
    DriveExit SavePng(const std::wstring& path);
    // Closes a launched host that still runs, unless it is to be left running.
    DriveExit Finish(bool leaveRunning);

private:
    struct Frame {
        int32_t width = 0;
        int32_t height = 0;
        std::vector<uint8_t> pixels;
    };

    void OnFrameData(const unsigned char* frameHeader, uint32_t blockSize) override;
    void OnBrowserEventData(const wchar_t* text, size_t length) override;

    static DWORD WINAPI WatchHost(void* session);
    void OnHostEnded();
    bool HostEnded();

    DriveExit RunStep(const DriveStep& step);
    DriveExit Send(const std::vector<NsChannel::Command>& commands);
    DriveExit Query(const DriveStep& step);
    DriveExit WaitForEvent(const std::wstring& pattern);
    // A frame newer than the last one waited for; of this size unless it is 0 x 0.
    DriveExit WaitForFrame(int32_t width, int32_t height);
    DriveExit CloseHost();
    DriveExit PageRequest(const std::string& request);
    DriveExit Failure(DriveExit exit, const std::wstring& message);

    int32_t m_processId;
    int32_t m_index;
    IDriveOutput& m_output;
    uint32_t m_timeoutMs;
    CChannelControl m_channel;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::wstring> m_events; // every event text received, in order
    size_t m_eventCursor = 0; // events before it were consumed by a wait
    Frame m_frame;
    uint64_t m_frameCount = 0;
    uint64_t m_framesSeen = 0;
    bool m_hostEnded = false;

    NsWin32::CKernelHandle m_hostProcess;
    CEngineLink m_engine;
    NsWin32::CKernelHandle m_stopWatch;
    NsWin32::CThreadOwner m_watchThread;
};
