// One headless Chromium with a temporary profile folder, reached over loopback.
//
// Under Wine a Linux Chromium is started through a small shell wrapper whose standard input
// and output are one end of a loopback TCP connection; this object holds the other end. When
// the object goes, or the process holding it ends in any way, the wrapper reads end-of-file,
// kills Chromium's whole process group and removes the profile folder. (Wine hands a Linux
// program a socket as a real descriptor, but an anonymous pipe only as /dev/null, and only to
// a detached process.)
//
// A Windows program (Edge or Chrome on Windows) is started inside a job object that kills
// every process in it when its last handle closes, which happens when this object goes or
// when the process holding it ends in any way. Its output comes back through a pipe; the
// profile folder is removed once the job's last process has ended.
//
// Chromium's own output is drained for the object's whole life.
#pragma once

#include <winsock2.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Win32Owners.h"

namespace cefcompat {

struct CChromiumEndpoint {
    std::string host; // 127.0.0.1
    std::string port;
    std::string path; // /devtools/browser/<id>
};

class CChromiumProcess {
public:
    // Starts |browser| (a Windows program; under Wine also a Linux path, or a Windows path Wine
    // maps to a Linux program) with |switches| and waits, at most |timeoutMs|, for its DevTools
    // endpoint. Null with |error| set when Chromium cannot be started or does not answer.
    static std::unique_ptr<CChromiumProcess>
    Start(const std::wstring& browser, const std::vector<std::string>& switches, DWORD timeoutMs, std::string* error);
    ~CChromiumProcess();

    CChromiumProcess(const CChromiumProcess&) = delete;
    CChromiumProcess& operator=(const CChromiumProcess&) = delete;

    const CChromiumEndpoint& Endpoint() const { return m_endpoint; }
    // Chromium's process id (a Linux one is also its process group) and its profile folder.
    const std::string& Pid() const { return m_pid; }
    const std::string& Profile() const { return m_profile; }

private:
    struct CSocketTraits {
        using Type = SOCKET;
        static Type Invalid() { return INVALID_SOCKET; }
        static void Close(Type s) { closesocket(s); }
    };
    using CSocket = NsWin32::CScopedResource<CSocketTraits>;

    CChromiumProcess() = default;
    // A loopback connection: m_link our end, |theirs| the wrapper's, inheritable.
    bool Connect(CSocket* theirs);
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
    // Linux Chromium: our end of the wrapper's standard streams. Closing it ends Chromium;
    // Chromium's output arrives on it.
    CSocket m_link;
    // Windows Chromium: its job, the port that tells when the job's last process ended, and
    // the read end of its output.
    NsWin32::CKernelHandle m_job;
    NsWin32::CKernelHandle m_jobPort;
    NsWin32::CFileHandle m_output;
    std::wstring m_windowsProfile;
    NsWin32::CKernelHandle m_ready; // set once the endpoint is known or the output ended
    NsWin32::CKernelHandle m_ended; // set when the output ended (Linux: the wrapper has cleaned up)
    std::thread m_reader;
    // Written by the reader thread before m_ready is set, read afterwards.
    CChromiumEndpoint m_endpoint;
    std::string m_pid;
    std::string m_profile;
    std::string m_failure;
};

// The switches of a headless Chromium that serves one page over loopback DevTools, with the
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
