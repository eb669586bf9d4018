#pragma once

// What the end-to-end tests of the host share: child processes that never outlive a test,
// the add-in's end of the channel (on the client library), the scripted engine's control pipe,
// the host's window and settings, and the deadlines every wait keeps.

#include "CommandRecord.h"
#include "OverlappedPipe.h" // NsWin32::CDeadline, for every wait of the tests
#include "TestTime.h"
#include "Win32Handles.h"
#include "pagehull_client.hpp"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace NsHostTest {

// Every wait of these tests has this limit (30 s, scaled for a busy machine); reaching it
// fails the test.
extern const DWORD kTimeoutMs;

// How the host's process ends: the message loop ran without a browser, or after it closed.
constexpr DWORD kExitNoBrowser = 1;
constexpr DWORD kExitBrowserClosed = 2;

// The class of the host's native window.
constexpr wchar_t kHostWindowClass[] = L"MevoraAddinWebHost";

int32_t SelfPid();
// Channel names hold the add-in's process id and this index, so no two hosts that one test
// process drives share a channel.
int32_t NextIndex();

// A file in the folder of the test binary, where every built program lands.
std::wstring BinaryPath(const wchar_t* fileName);

// A program started by a test; killed if it still runs when the test ends.
class CChildProcess {
public:
    // Fails the current test (and returns an empty process) when the program cannot start.
    CChildProcess(const std::wstring& program, const std::wstring& arguments);
    // A process started by someone else (a library), watched and killed the same way.
    explicit CChildProcess(DWORD processId);
    ~CChildProcess();

    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool IsStarted() const { return m_process.IsValid(); }
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_process.Get(); }

    // The exit code, or nothing when the process still runs after timeoutMs.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs = kTimeoutMs) const;
    void Kill();

private:
    NsWin32::CKernelHandle m_process;
    DWORD m_id = 0;
};

// The switch that puts a host on the scripted engine, whose pages the tests steer.
constexpr wchar_t kScriptedEngineSwitch[] = L"--cefcompat-engine=scripted";

// The host's executable with the given arguments. The host runs on the scripted engine.
std::wstring HostPath();
std::wstring HostArguments(int32_t parentPid, int32_t index, const std::wstring& address);

// A frame as the add-in reads it.
struct CFrame : pagehull::Frame {
    // The pixel at (x, y) as 0x00RRGGBB; a point outside the frame throws.
    uint32_t PixelAt(int x, int y) const;
};

// The add-in's end of one host's channel, on the client library's session: collects the event
// texts and the sizes of announced frames while a test waits, and sends commands. One thread.
class CAddinEnd {
public:
    // The library keys its channels by this process's id, so parentPid is SelfPid().
    CAddinEnd(int32_t parentPid, int32_t index);

    CAddinEnd(const CAddinEnd&) = delete;
    CAddinEnd& operator=(const CAddinEnd&) = delete;

    bool IsOpen() const { return m_session.Handle() != nullptr; }
    // True once the host has opened its end of the pipe.
    bool WaitForHost();

    // Waits for an event text equal to `text` among those not yet consumed by an earlier
    // wait; the events up to and including it are consumed.
    bool WaitForEvent(const std::wstring& text);
    // Every event text reported so far.
    std::vector<std::wstring> Events();

    // Waits for an announced frame of this size among those not yet consumed, like
    // WaitForEvent. Frames published before one was announced are announced once, at the
    // latest size.
    bool WaitForFrame(int32_t width, int32_t height);
    // The latest frame; nothing before the first, or when its size is 0 × 0.
    std::optional<CFrame> CurrentFrame();

    // Sent through the library's calls, so what they refuse fails: both key flags, a view of
    // no size or larger than the frame area, a query code.
    bool Send(const NsChannel::Command& command);
    bool Send(NsChannel::CommandCode code);
    std::optional<std::wstring> QueryUrl();
    std::optional<bool> QueryFlag(NsChannel::CommandCode code);

private:
    ph_status Dispatch(const NsChannel::Command& c);
    // Waits until `found` holds for what the session reported, within the tests' deadline.
    template <typename Found>
    bool WaitUntil(Found found);
    // Takes one report of the session into the lists; false when none came within timeoutMs.
    bool Take(uint32_t timeoutMs);

    pagehull::Session m_session;
    bool m_attached = false;
    std::vector<std::wstring> m_events;
    size_t m_consumed = 0;
    std::vector<std::pair<int32_t, int32_t>> m_frameSizes;
    size_t m_framesConsumed = 0;
};

// The scripted engine's control pipe in a host: requests, and waits on the runtime's journal
// of everything the host called.
class CEngineControl {
public:
    // Connects to the pipe of the host `host`, which creates it while it starts up.
    explicit CEngineControl(const CChildProcess& host);

    bool IsConnected() const { return m_pipe.IsValid(); }
    // One request line, one answer line; nothing when the pipe broke.
    std::optional<std::string> Request(const std::string& line);
    // The next journal line, after the one an earlier wait found, that holds every one of
    // `terms` (space-separated tokens); nothing when none came in time.
    std::optional<std::string> WaitForJournal(const std::string& terms);
    // The number of the latest journal line, for JournalSince.
    std::string Mark();
    // Every journal line after `mark`, decoded.
    std::vector<std::string> JournalSince(const std::string& mark);

private:
    const CChildProcess& m_host;
    NsWin32::CFileHandle m_pipe;
    std::string m_pending;
    std::string m_journalCursor = "0";
};

// A journal line or value as the runtime encodes it ("%XX" escapes, "-" for empty), decoded.
std::string DecodeJournalText(const std::string& token);

// The value of "key=value" among the tokens of an answer or journal line; empty if absent.
std::string Field(const std::string& line, const std::string& key);

// The host's native window, found by its class among the windows of process `processId`.
HWND FindHostWindow(DWORD processId);
std::wstring WindowCaption(HWND window);

// A hidden top-level window of the test, which receives the crash broadcast registered under
// the add-in's process id `addinPid`.
class CCrashListener {
public:
    explicit CCrashListener(DWORD addinPid);
    ~CCrashListener();

    CCrashListener(const CCrashListener&) = delete;
    CCrashListener& operator=(const CCrashListener&) = delete;

    // The process id that the next broadcast carries, or nothing when none came in time.
    std::optional<DWORD> WaitForBroadcast();

private:
    UINT m_message;
    HWND m_window;
};

// Holds a Ctrl+Alt hot key for the test's thread while it lives, when it was free.
class CHeldHotKey {
public:
    explicit CHeldHotKey(UINT key);
    ~CHeldHotKey();

    CHeldHotKey(const CHeldHotKey&) = delete;
    CHeldHotKey& operator=(const CHeldHotKey&) = delete;

    bool IsHeld() const { return m_held; }

private:
    int m_id;
    bool m_held;
};

// Presses and releases Ctrl+Alt+key as a user would.
void PressCtrlAlt(UINT key);

// Whether `window` reaches the given visibility. The host's thread is made to go round its
// message loop between checks, so no time passes idly.
bool WaitForVisibility(HWND window, bool visible);

// The host's per-user setting for its hot key, removed again when the test ends.
class CHotKeySetting {
public:
    explicit CHotKeySetting(DWORD value);
    ~CHotKeySetting();

    CHotKeySetting(const CHotKeySetting&) = delete;
    CHotKeySetting& operator=(const CHotKeySetting&) = delete;
};

NsChannel::Command MakeCommand(NsChannel::CommandCode code);
NsChannel::Command LoadUrlCommand(const std::wstring& url);

} // namespace NsHostTest
