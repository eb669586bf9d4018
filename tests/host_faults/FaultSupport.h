#pragma once

// What the fault and load suite shares: its scale, the host's resources as Windows counts
// them, a process that plays the add-in and can die holding the channel's mutexes, and an
// add-in's end built by hand, which writes any bytes to the pipe, takes event texts and
// frames when the test says so, and sees whether a mutex was left abandoned.

#include "DrivenHost.h"

#include "ChannelControl.h"
#include "CommandRecord.h"
#include "Win32Handles.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace NsFaultTest {

using NsHostTest::kExitBrowserClosed;
using NsHostTest::kTimeoutMs;
using NsHostTest::NextIndex;

// `make faults` sets FAULT_SUITE=full; everywhere else (make test, CI) the reduced counts
// keep each binary well under a minute.
bool IsFullScale();
size_t Scaled(size_t full, size_t reduced);

struct CProcessCounters {
    size_t handles = 0;
    size_t threads = 0;
    uint64_t privateBytes = 0;
};

// Wine answers GetProcessHandleCount with 0 and PROCESS_MEMORY_COUNTERS_EX.PrivateUsage with
// 0 for every process; the system handle table and PagefileUsage (the same commit charge on
// Windows) carry the real numbers, so those are read.
CProcessCounters ReadCounters(HANDLE process, DWORD processId);
std::string Describe(const CProcessCounters& counters);

// The host stays alive and, within a few windows of `windowMs` (what it was last asked to do may
// fill the first), uses at most a fifth of one: a reader spinning on a broken or hostile pipe
// would use all of every window.
::testing::AssertionResult StaysIdle(const NsHostTest::CChildProcess& host, DWORD windowMs);

// A process for the host to watch as its add-in, or another of the add-in's processes. On
// TakeMutexes it takes the given mutexes of the channel keyed by `channelPid` (0: its own
// process id) and `index`, and keeps them until it is killed.
class CAddinProcess {
public:
    CAddinProcess() : CAddinProcess(0, 0, {}) {}
    CAddinProcess(int32_t channelPid, int32_t index, const std::vector<ChannelObject>& mutexes);

    CAddinProcess(const CAddinProcess&) = delete;
    CAddinProcess& operator=(const CAddinProcess&) = delete;

    int32_t Id() const { return static_cast<int32_t>(m_process.Id()); }
    // True once it holds all of its mutexes.
    bool TakeMutexes();
    void Kill() { m_process.Kill(); }

private:
    std::wstring m_takeName;
    std::wstring m_heldName;
    NsWin32::CKernelHandle m_take;
    NsWin32::CKernelHandle m_held;
    NsHostTest::CChildProcess m_process;
};

// Holds a mutex on the calling thread for its scope and tells how the wait found it.
class CObservedLock {
public:
    CObservedLock(HANDLE mutex, DWORD timeoutMs);
    ~CObservedLock();

    CObservedLock(const CObservedLock&) = delete;
    CObservedLock& operator=(const CObservedLock&) = delete;

    bool Owns() const { return m_result == WAIT_OBJECT_0 || m_result == WAIT_ABANDONED; }
    bool WasAbandoned() const { return m_result == WAIT_ABANDONED; }

private:
    HANDLE m_mutex;
    DWORD m_result;
};

// The add-in's end of one host's channel, by hand: the pipe is created as the add-in creates
// it, every object of the block is opened by name, and nothing is read unless asked.
class CManualAddin {
public:
    CManualAddin(int32_t processId, int32_t index);

    CManualAddin(const CManualAddin&) = delete;
    CManualAddin& operator=(const CManualAddin&) = delete;

    bool IsOpen() const { return m_view && m_pipe.IsValid(); }
    // True once the host has opened the pipe; false when `host` ends first.
    bool WaitForHost(HANDLE host);

    bool Write(const void* data, size_t size);
    bool WriteLength(int32_t length);
    bool Send(const NsChannel::Command& command);
    // One reply (length and record) within timeoutMs.
    std::optional<NsChannel::Reply> ReadReply(DWORD timeoutMs = kTimeoutMs);
    std::optional<std::wstring> QueryUrl();
    void ClosePipe() { m_pipe.Reset(); }

    // Waits for the event signal, then takes the whole area and empties it, as the add-in
    // does; nothing when no signal came in time, or `giveUp` (optional) was set first.
    std::optional<std::u16string> TakeEvents(DWORD timeoutMs, HANDLE giveUp = nullptr);
    // Takes events until a text equal to `text` comes, after those earlier waits consumed.
    bool WaitForEvent(const std::u16string& text);
    // Every text taken so far, split at the separators.
    const std::vector<std::u16string>& Events() const { return m_events; }

    struct CFrameHeader {
        int32_t width = 0;
        int32_t height = 0;
    };
    // Waits for the frame signal and reads the header under the frame mutex.
    std::optional<CFrameHeader> TakeFrame(DWORD timeoutMs);
    // A frame of this size is announced; the announcements of earlier frames are passed by.
    bool WaitForFrame(int32_t width, int32_t height);
    // The header as it is now, read under the frame mutex.
    std::optional<CFrameHeader> CurrentFrame();

    // Whether any take found a mutex abandoned: its last owner ended without releasing it.
    bool FoundAbandoned() const { return m_foundAbandoned; }
    HANDLE EventMutex() const { return m_eventMutex.Get(); }

private:
    std::optional<CFrameHeader> ReadFrameHeader(DWORD timeoutMs);

    NsWin32::CKernelHandle m_eventSignal;
    NsWin32::CKernelHandle m_eventMutex;
    NsWin32::CKernelHandle m_frameSignal;
    NsWin32::CKernelHandle m_frameMutex;
    NsWin32::CKernelHandle m_mapping;
    NsWin32::CMappedView m_view;
    NsWin32::CFileHandle m_pipe;
    std::vector<std::u16string> m_events;
    size_t m_consumed = 0;
    bool m_foundAbandoned = false;
};

// One control request to the scripted engine, made on a connection and thread of its own:
// requests whose answer needs the host's UI thread cannot be answered while a test keeps
// that thread waiting.
class CPendingRequest {
public:
    CPendingRequest(const NsHostTest::CChildProcess& host, std::string line);
    ~CPendingRequest();

    CPendingRequest(const CPendingRequest&) = delete;
    CPendingRequest& operator=(const CPendingRequest&) = delete;

    // The answer, once it came (or the pipe broke).
    std::optional<std::string> Answer();

private:
    std::optional<std::string> m_answer;
    std::thread m_thread;
};

// A command record as bytes, framed or not, for tests that build streams by hand.
std::vector<unsigned char> Framed(int32_t length, const void* record, size_t size);
std::vector<unsigned char> FramedCommand(const NsChannel::Command& command);

std::u16string U16(const std::wstring& text);

} // namespace NsFaultTest
