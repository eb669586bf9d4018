#pragma once

// The add-in's side of one host: a PagehullClient session, and the steps of a script played
// against it. Every wait has a time limit, and every outcome is one of the exit codes below.

#include "DriveScript.h"
#include "EngineLink.h"
#include "Win32Handles.h"
#include "pagehull_client.hpp"

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
// called on the session's receiving thread (event texts and the host's end).
class IDriveOutput {
public:
    virtual ~IDriveOutput() = default;
    virtual void Print(const std::wstring& line) = 0;
    virtual void Fail(const std::wstring& message) = 0;
};

class CDriveSession {
public:
    static constexpr uint32_t kDefaultTimeoutMs = 15000;

    // The channel's key is this process's id and the index.
    CDriveSession(int32_t index, IDriveOutput& output, uint32_t timeoutMs);
    ~CDriveSession();

    CDriveSession(const CDriveSession&) = delete;
    CDriveSession& operator=(const CDriveSession&) = delete;

    DriveExit Open();
    // Starts the host with this session's key and the address, then waits for its pipe.
    // |switches|: further switches of the host's command line (CEF's, for example).
    DriveExit Launch(const std::wstring& hostPath, const std::vector<std::wstring>& switches,
                     const std::wstring& address);
    // Waits for a host started by someone else to open the pipe.
    DriveExit AwaitHost();
    DriveExit Run(const std::vector<DriveStep>& steps);
    DriveExit SavePng(const std::wstring& path);
    // Closes a launched host that still runs. Its end is waited for at least as long as by
    // default: a short time limit set for the script's own waits does not give the host up.
    DriveExit Finish();

private:
    static DWORD WINAPI ReceiveThread(void* session);
    // Until the session closes or the host ends: prints and keeps event texts, keeps frames.
    void ReceiveEvents();
    bool HostEnded();
    DriveExit StartReceiving();

    DriveExit RunStep(const DriveStep& step);
    DriveExit Send(const std::vector<NsChannel::Command>& commands);
    DriveExit Query(const DriveStep& step);
    DriveExit WaitForEvent(const std::wstring& pattern);
    // A frame newer than the last one waited for; of this size unless it is 0 x 0.
    DriveExit WaitForFrame(int32_t width, int32_t height);
    DriveExit CloseHost(uint32_t timeoutMs);
    DriveExit PageRequest(const std::string& request);
    DriveExit Failure(DriveExit exit, const std::wstring& message);

    int32_t m_index;
    IDriveOutput& m_output;
    uint32_t m_timeoutMs;
    pagehull::Session m_session;
    bool m_launched = false;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::wstring> m_events; // every event text received, in order
    size_t m_eventCursor = 0; // events before it were consumed by a wait
    pagehull::Frame m_frame;
    uint64_t m_frameCount = 0;
    uint64_t m_framesSeen = 0;
    bool m_hostEnded = false;

    CEngineLink m_engine;
    NsWin32::CThreadOwner m_receiver;
};
