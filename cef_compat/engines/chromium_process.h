// One headless Chromium with a temporary profile folder only its owner can read, and its
// debugging pipe (--remote-debugging-pipe): the DevTools protocol on a stream that only this
// process and Chromium hold. Chromium opens no port; nothing else on the machine can reach it.
//
// Both streams this object holds are connected loopback sockets: each is made by connecting to
// a listener that lives only until the connection is accepted, and whose accepted peer must be
// our own other end. (Wine hands a Linux program a socket as a real descriptor, but an
// anonymous pipe only as /dev/null, and only to a detached process.)
//
// Under Wine a Linux Chromium is started through a small shell wrapper. Its standard input is
// one stream (the wrapper's link, which also carries its output and Chromium's); when this object
// goes, or the process holding it ends in any way, the wrapper reads end-of-file, kills
// Chromium's whole process group and removes the profile folder. Its standard output is the
// other stream, which the wrapper makes blocking (Chromium reads and writes it as a pipe) and
// hands Chromium as descriptors 3 and 4. (Wine gives a Linux program no standard error.)
// Chromium's sandbox needs a user other than root: as root it is switched off, and the
// wrapper says so (Sandbox()).
//
// A Windows program (Edge or Chrome on Windows) is started inside a job object that kills
// every process in it when its last handle closes, which happens when this object goes or
// when the process holding it ends in any way; it takes its end of the debugging stream as
// the handles --remote-debugging-io-pipes names, and runs with its sandbox. Its output comes
// back through a pipe; the profile folder is removed once the job's last process has ended.
//
// Chromium's own output is drained for the object's whole life.
#pragma once

#include <winsock2.h>

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Win32Owners.h"

namespace cefcompat {

class CChromiumProcess {
public:
    // Starts |browser| (a Windows program; under Wine also a Linux path, or a Windows path Wine
    // maps to a Linux program) with |switches| and waits, at most |timeoutMs|, until it runs.
    // Null with |error| set when Chromium cannot be started.
    static std::unique_ptr<CChromiumProcess>
    Start(const std::wstring& browser, const std::vector<std::string>& switches, DWORD timeoutMs, std::string* error);
    ~CChromiumProcess();

    CChromiumProcess(const CChromiumProcess&) = delete;
    CChromiumProcess& operator=(const CChromiumProcess&) = delete;

    // Our end of the debugging pipe, open for the object's whole life; overlapped.
    SOCKET DevToolsLink() const { return m_devTools.Get(); }
    // Chromium's process id (a Linux one is also its process group) and its profile folder.
    const std::string& Pid() const { return m_pid; }
    const std::string& Profile() const { return m_profile; }
    // "on", or why Chromium's sandbox is off.
    const std::string& Sandbox() const { return m_sandbox; }
    // What Chromium or its wrapper said about a failure; empty when nothing.
    std::string Failure() const;

private:
    struct CSocketTraits {
        using Type = SOCKET;
        static Type Invalid() { return INVALID_SOCKET; }
        static void Close(Type s) { closesocket(s); }
    };
    using CSocket = NsWin32::CScopedResource<CSocketTraits>;

    CChromiumProcess() = default;
    // A connected pair of loopback sockets: |ours| not inheritable and overlapped, |theirs| inheritable and
    // blocking (the browser reads it as a pipe).
    static bool Connect(CSocket* ours, CSocket* theirs);
    bool LaunchLinux(const std::wstring& browser, const std::vector<std::string>& switches, std::string* error);
    bool LaunchWindows(const std::wstring& browser, const std::vector<std::string>& switches, std::string* error);
    // The job's processes have all ended, or |timeoutMs| has passed.
    bool WaitForJobEnd(DWORD timeoutMs);
    void ReadLink();
    void ReadPipe();
    void TakeOutput(const char* bytes, size_t count, std::string* line);
    void OutputEnded();
    void TakeLine(const std::string& line);

    bool m_winsock = false;
    CSocket m_devTools; // our end of the debugging pipe
    // Linux Chromium: our end of the wrapper's standard streams. Closing it ends Chromium;
    // Chromium's output arrives on it.
    CSocket m_link;
    // Windows Chromium: its job, the port that tells when the job's last process ended, and
    // the read end of its output.
    NsWin32::CKernelHandle m_job;
    NsWin32::CKernelHandle m_jobPort;
    NsWin32::CFileHandle m_output;
    std::wstring m_windowsProfile;
    NsWin32::CKernelHandle m_ready; // set once Chromium runs or the output ended
    NsWin32::CKernelHandle m_ended; // set when the output ended (Linux: the wrapper has cleaned up)
    NsWin32::CKernelHandle m_stopReading; // Linux: ends the reader of a wrapper that stays
    std::thread m_reader;
    // Written by the reader thread before m_ready is set, read afterwards.
    std::string m_pid;
    std::string m_profile;
    std::string m_sandbox = "on";
    mutable std::mutex m_failureMutex; // the reader thread may learn of a failure at any time
    std::string m_failure;
};

// CChromiumProcess::Start on a thread of its own, so that Chromium comes up while its owner
// does other work. Whatever is never taken is ended when this object goes.
class CChromiumLaunch {
public:
    CChromiumLaunch(const std::wstring& browser, const std::vector<std::string>& switches, DWORD timeoutMs);

    CChromiumLaunch(const CChromiumLaunch&) = delete;
    CChromiumLaunch& operator=(const CChromiumLaunch&) = delete;

    // Once: waits for the start's outcome, as CChromiumProcess::Start gives it.
    std::unique_ptr<CChromiumProcess> Take(std::string* error);

private:
    std::string m_error; // written by the starting thread before its result is ready
    std::future<std::unique_ptr<CChromiumProcess>> m_process;
};

// The switches of a headless Chromium that serves one page over its debugging pipe, with the
// page Chromium opens at start (about:blank).
std::vector<std::string> HeadlessSwitches();

// The browser started when none is named: under Wine Debian's chromium; on Windows the Edge
// or Chrome that the registry's App Paths name (BrowserFromAppPaths), empty when neither is.
std::wstring DefaultBrowser();
// The first of msedge.exe and chrome.exe that App Paths names (the current user's entry
// before the machine's, as the shell looks them up) and that is an existing program.
std::wstring BrowserFromAppPaths();

// Wine's mapping between its drives and Linux paths; empty where there is none (not Wine,
// or a path outside every drive).
std::string LinuxPathOf(const std::wstring& windowsPath);
std::wstring WindowsPathOf(const std::string& linuxPath);

} // namespace cefcompat
