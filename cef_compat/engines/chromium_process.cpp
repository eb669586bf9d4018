#include "engines/chromium_process.h"

#include <cstdint>
#include <cwchar>
#include <filesystem>

#include <sddl.h>

#include "engines/socket_io.h"
#include "runtime/command_line.h"
#include "runtime/text.h"

namespace cefcompat {
namespace {

// Lines of Chromium's output longer than this are cut; nothing we read from them is longer.
constexpr size_t kMaxOutputLine = 4096;

// $1 is the browser, the rest its switches. Standard input is the wrapper's link, which it also
// writes to; standard output is the debugging stream (Wine gives a Linux program its standard
// input and output, but not its standard error). The first lines say whether the sandbox is off and name Chromium's process id and profile folder (mktemp
// makes it readable by its owner only). The debugging stream is made blocking, as Chromium
// reads and writes its pipe, and given to Chromium alone as descriptors 3 and 4: the wrapper
// closes its own copy, so the stream ends when Chromium does. setsid makes Chromium the leader
// of a process group of its own (a background job of a non-interactive shell is never one
// already, so setsid does not fork), which every process it starts joins; the group is killed
// as one. Wine's sockets are non-blocking, so the wait for end-of-file selects before it reads;
// perl, part of every Debian system, also signals the group, which dash's kill cannot name.
// Killed processes are waited for, a bounded while, before their profile folder is removed
// under them. Nothing of the switches is ever read by a shell: they stay quoted in "$@".
const char kWrapper[] =
    "exec 5<&1 1>&0 2>&0; trap '' PIPE; browser=$1; shift; "
    "[ -x \"$browser\" ] || { echo \"failed $browser is not an executable program\"; exit 127; }; "
    "if [ \"$(id -u)\" = 0 ]; then set -- \"$@\" --no-sandbox; "
    "echo 'sandbox off: Chromium runs as root, where its sandbox cannot'; fi; "
    "perl -MFcntl -e '$f = fcntl(STDIN, F_GETFL, 0) or exit 1; fcntl(STDIN, F_SETFL, $f & ~O_NONBLOCK) or exit 1' "
    "<&5 || { echo 'failed the debugging pipe cannot be made blocking'; exit 1; }; "
    "profile=$(mktemp -d \"${TMPDIR:-/tmp}/cefcompat-chromium.XXXXXX\") || "
    "{ echo 'failed no temporary profile folder'; exit 1; }; "
    "setsid \"$browser\" \"$@\" --user-data-dir=\"$profile\" 3<&5 4>&5 5<&- </dev/null & pid=$!; exec 5<&-; "
    "echo \"started $pid $profile\"; "
    "perl -e 'vec($r, 0, 1) = 1; while (select($w = $r, undef, undef, undef) >= 0 || $!{EINTR}) "
    "{ $n = sysread(STDIN, $b, 4096); last if defined $n ? $n == 0 : !$!{EAGAIN} }'; "
    "perl -e 'kill \"KILL\", -$ARGV[0]' $pid; wait $pid; "
    "perl -e 'for (1 .. 50) { kill(0, -$ARGV[0]) or last; select(undef, undef, undef, 0.1) }' $pid; "
    "rm -rf \"$profile\"";

// Chromium's words when it cannot start its sandbox.
const char kNoSandbox[] = "No usable sandbox";

// How long a closing object waits for the wrapper to have cleaned up, or for the job's
// processes to have ended.
constexpr DWORD kCleanupTimeoutMs = 10000;

// Debian's chromium, as Wine's processes reach it.
const wchar_t kDebianChromium[] = L"/usr/bin/chromium";
const wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
// A registry value longer than this names no program (in characters, NUL included).
constexpr DWORD kMaxRegistryPath = 32768;
// A Windows browser's profile folder in the temporary folder: this, the host's process id, '.'.
const wchar_t kProfilePrefix[] = L"cefcompat-chromium.";
// Attempts at a profile folder name nobody uses yet.
constexpr int kProfileAttempts = 100;

using WineUnixName = char*(__cdecl*)(LPCWSTR);
using WineDosName = WCHAR*(__cdecl*)(const char*);

// Wine's own exports of kernel32; absent on Windows.
void* WineExport(const char* name)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr;
}

// A folder only its owner may open: the profile holds the page's cookies and sign-ins.
bool CreateOwnerOnlyFolder(const std::wstring& folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;OW)", SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    const bool created = CreateDirectoryW(folder.c_str(), &attributes) != FALSE;
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return created;
}

bool SameAddress(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

bool IsWine()
{
    return WineExport("wine_get_unix_file_name") != nullptr;
}

// A PE file: what Windows starts, and what Wine starts as a Windows program.
bool IsWindowsProgram(const std::wstring& path)
{
    NsWin32::CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char magic[2] = {};
    DWORD read = 0;
    return file && ReadFile(file.Get(), magic, sizeof(magic), &read, nullptr) && read == sizeof(magic) &&
           magic[0] == 'M' && magic[1] == 'Z';
}

// A program path as the registry gives it, which anyone who can write the key chose: an
// absolute path of an existing .exe, or nothing. The shell's own entries may be quoted.
std::wstring CheckedProgramPath(std::wstring path)
{
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    const bool absolute = (path.size() > 3 && path[1] == L':' && path[2] == L'\\') || path.compare(0, 2, L"\\\\") == 0;
    if (!absolute || path.size() < 5 || _wcsicmp(path.c_str() + path.size() - 4, L".exe") != 0)
        return std::wstring();
    for (const wchar_t c : path) {
        if (c < 0x20 || c == L'"')
            return std::wstring();
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::wstring();
    return path;
}

// The default value of App Paths\<program> under |root|, checked.
std::wstring AppPath(HKEY root, const wchar_t* program)
{
    const std::wstring key = std::wstring(kAppPaths) + program;
    // REG_EXPAND_SZ values come back expanded, as REG_SZ.
    std::wstring value(kMaxRegistryPath, L'\0');
    DWORD size = kMaxRegistryPath * sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, &value[0], &size) != ERROR_SUCCESS) {
        return std::wstring();
    }
    value.resize(wcsnlen(value.c_str(), std::min<size_t>(size / sizeof(wchar_t), value.size())));
    return CheckedProgramPath(value);
}

// The process id a profile folder's name carries ("cefcompat-chromium.<pid>.<tick>.<n>"); 0
// for a name that is not one of ours.
DWORD OwnerOfProfile(const std::wstring& name)
{
    const size_t prefix = wcslen(kProfilePrefix);
    if (name.compare(0, prefix, kProfilePrefix) != 0)
        return 0;
    const size_t end = name.find(L'.', prefix);
    if (end == std::wstring::npos || end == prefix || end - prefix > 10)
        return 0;
    uint64_t pid = 0;
    for (size_t i = prefix; i < end; ++i) {
        if (name[i] < L'0' || name[i] > L'9')
            return 0;
        pid = pid * 10 + static_cast<uint64_t>(name[i] - L'0');
    }
    return pid <= MAXDWORD ? static_cast<DWORD>(pid) : 0;
}

// A process we cannot look at counts as running: its folder is kept.
bool ProcessRunning(DWORD pid)
{
    const NsWin32::CKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    return WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

// A killed host cannot remove its browser's profile folder (the job ends the browser, but
// nothing is left to delete the files): the next host to start one removes every folder whose
// owner no longer runs.
void RemoveOrphanedProfiles(const std::wstring& temp)
{
    std::error_code error;
    std::filesystem::directory_iterator entries(std::filesystem::path(temp), error);
    std::vector<std::filesystem::path> orphans;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const DWORD owner = OwnerOfProfile(entries->path().filename().wstring());
        if (owner != 0 && entries->is_directory(error) && !ProcessRunning(owner))
            orphans.push_back(entries->path());
    }
    for (const auto& orphan : orphans)
        std::filesystem::remove_all(orphan, error);
}

// A new, empty folder under the user's temporary folder; empty when none can be made.
std::wstring NewProfileFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return std::wstring();
    RemoveOrphanedProfiles(temp);
    const std::wstring base = std::wstring(temp) + kProfilePrefix + std::to_wstring(GetCurrentProcessId()) + L".";
    for (int attempt = 0; attempt < kProfileAttempts; ++attempt) {
        const std::wstring folder = base + std::to_wstring(GetTickCount()) + L"." + std::to_wstring(attempt);
        if (CreateOwnerOnlyFolder(folder))
            return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return std::wstring();
}

} // namespace

std::vector<std::string> HeadlessSwitches()
{
    // Everything Chromium would reach out for on its own is off; DevTools only on the pipe.
    return {"--headless",
            "--disable-gpu",
            "--disable-quic",
            "--no-first-run",
            "--no-default-browser-check",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--disable-extensions",
            "--mute-audio",
            "--remote-debugging-pipe",
            "about:blank"};
}

std::wstring DefaultBrowser()
{
    return IsWine() ? kDebianChromium : BrowserFromAppPaths();
}

std::wstring BrowserFromAppPaths()
{
    for (const wchar_t* program : {L"msedge.exe", L"chrome.exe"}) {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            const std::wstring path = AppPath(root, program);
            if (!path.empty())
                return path;
        }
    }
    return std::wstring();
}

std::string LinuxPathOf(const std::wstring& windowsPath)
{
    auto toUnix = reinterpret_cast<WineUnixName>(WineExport("wine_get_unix_file_name"));
    if (!toUnix)
        return std::string();
    char* name = toUnix(windowsPath.c_str());
    if (!name)
        return std::string();
    std::string path(name);
    HeapFree(GetProcessHeap(), 0, name);
    return path;
}

std::wstring WindowsPathOf(const std::string& linuxPath)
{
    auto toDos = reinterpret_cast<WineDosName>(WineExport("wine_get_dos_file_name"));
    if (!toDos)
        return std::wstring();
    WCHAR* name = toDos(linuxPath.c_str());
    if (!name)
        return std::wstring();
    std::wstring path(name);
    HeapFree(GetProcessHeap(), 0, name);
    // Paths outside every drive come back in the \\?\unix form, which no page address uses.
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        path.erase(0, 4);
    return path.size() > 1 && path[1] == L':' ? path : std::wstring();
}

std::unique_ptr<CChromiumProcess> CChromiumProcess::Start(const std::wstring& browser,
                                                          const std::vector<std::string>& switches, DWORD timeoutMs,
                                                          std::string* error)
{
    if (browser.empty()) {
        *error = "no browser: App Paths names neither msedge.exe nor chrome.exe";
        return nullptr;
    }
    std::unique_ptr<CChromiumProcess> process(new CChromiumProcess());
    const bool launched = !IsWine() || IsWindowsProgram(browser) ? process->LaunchWindows(browser, switches, error)
                                                                 : process->LaunchLinux(browser, switches, error);
    if (!launched)
        return nullptr;
    if (WaitForSingleObject(process->m_ready.Get(), timeoutMs) != WAIT_OBJECT_0) {
        *error = "Chromium did not start in time";
        return nullptr;
    }
    if (process->m_pid.empty()) {
        *error =
            process->Failure().empty() ? "Chromium's wrapper ended before it started Chromium" : process->Failure();
        return nullptr;
    }
    return process;
}

CChromiumLaunch::CChromiumLaunch(const std::wstring& browser, const std::vector<std::string>& switches, DWORD timeoutMs)
    : m_process(std::async(std::launch::async, [this, browser, switches, timeoutMs]() {
          return CChromiumProcess::Start(browser, switches, timeoutMs, &m_error);
      }))
{
}

std::unique_ptr<CChromiumProcess> CChromiumLaunch::Take(std::string* error)
{
    std::unique_ptr<CChromiumProcess> process = m_process.get();
    if (!process)
        *error = m_error;
    return process;
}

std::string CChromiumProcess::Failure() const
{
    std::lock_guard<std::mutex> lock(m_failureMutex);
    return m_failure;
}

bool CChromiumProcess::Connect(CSocket* ours, CSocket* theirs)
{
    CSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    // Not overlapped: a Windows browser reads and writes it as the handle of a pipe.
    theirs->Reset(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (!listener || !*theirs || bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener.Get(), 1) != 0 ||
        getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        connect(theirs->Get(), reinterpret_cast<sockaddr*>(&address), size) != 0) {
        return false;
    }
    ours->Reset(accept(listener.Get(), nullptr, nullptr));
    // Anything else on this machine could have connected first: the peer must be our own end.
    sockaddr_in peer = {};
    sockaddr_in local = {};
    int peerSize = sizeof(peer);
    int localSize = sizeof(local);
    return *ours && getpeername(ours->Get(), reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
           getsockname(theirs->Get(), reinterpret_cast<sockaddr*>(&local), &localSize) == 0 &&
           SameAddress(peer, local) &&
           SetHandleInformation(reinterpret_cast<HANDLE>(ours->Get()), HANDLE_FLAG_INHERIT, 0) &&
           SetHandleInformation(reinterpret_cast<HANDLE>(theirs->Get()), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}

bool CChromiumProcess::LaunchLinux(const std::wstring& browser, const std::vector<std::string>& switches,
                                   std::string* error)
{
    const std::wstring shell = WindowsPathOf("/bin/sh");
    if (shell.empty()) {
        *error = "the Chromium engine needs Wine's Linux side to start Chromium";
        return false;
    }
    // A Windows path is handed over as the Linux path Wine maps it to.
    const bool windowsForm = browser.find(L'\\') != std::wstring::npos || browser.find(L':') != std::wstring::npos;
    const std::string linuxBrowser = windowsForm ? LinuxPathOf(browser) : ToUtf8(browser);
    if (linuxBrowser.empty()) {
        *error = "no Linux path for " + ToUtf8(browser);
        return false;
    }
    WSADATA data;
    m_winsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    CSocket theirs;
    CSocket theirDevTools;
    m_ready.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_ended.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_stopReading.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_winsock || !m_ready || !m_ended || !m_stopReading || !Connect(&m_link, &theirs) ||
        !Connect(&m_devTools, &theirDevTools)) {
        *error = "no loopback connection for Chromium's wrapper";
        return false;
    }
    std::wstring commandLine = QuoteArgument(shell) + L" -c " + QuoteArgument(FromUtf8(kWrapper)) + L" sh " +
                               QuoteArgument(FromUtf8(linuxBrowser));
    for (const std::string& value : switches)
        commandLine += L" " + QuoteArgument(FromUtf8(value));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = reinterpret_cast<HANDLE>(theirs.Get());
    startup.hStdOutput = reinterpret_cast<HANDLE>(theirDevTools.Get());
    startup.hStdError = startup.hStdInput;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(shell.c_str(), &commandLine[0], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &info)) {
        *error = "cannot start " + ToUtf8(shell) + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    // Wine gives no handles for a Linux program; on a Windows program they would be real.
    NsWin32::CKernelHandle processHandle(info.hProcess);
    NsWin32::CKernelHandle threadHandle(info.hThread);
    m_reader = std::thread([this]() { ReadLink(); });
    return true;
}

bool CChromiumProcess::LaunchWindows(const std::wstring& browser, const std::vector<std::string>& switches,
                                     std::string* error)
{
    m_windowsProfile = NewProfileFolder();
    if (m_windowsProfile.empty()) {
        *error = "no temporary profile folder";
        return false;
    }
    m_profile = ToUtf8(m_windowsProfile);
    m_job.Reset(CreateJobObjectW(nullptr, nullptr));
    m_jobPort.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT port = {m_job.Get(), m_jobPort.Get()};
    m_ready.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_ended.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    WSADATA data;
    m_winsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    CSocket theirDevTools;
    SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    const bool piped = CreatePipe(&readEnd, &writeEnd, &inherited, 0) != FALSE;
    m_output.Reset(piped ? readEnd : INVALID_HANDLE_VALUE);
    const NsWin32::CFileHandle theirs(piped ? writeEnd : INVALID_HANDLE_VALUE);
    if (!m_job || !m_jobPort || !m_ready || !m_ended || !piped || !m_winsock || !Connect(&m_devTools, &theirDevTools) ||
        !SetInformationJobObject(m_job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)) ||
        !SetInformationJobObject(m_job.Get(), JobObjectAssociateCompletionPortInformation, &port, sizeof(port)) ||
        !SetHandleInformation(m_output.Get(), HANDLE_FLAG_INHERIT, 0)) {
        *error = "no job object or pipe for Chromium (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    std::wstring commandLine = QuoteArgument(browser);
    for (const std::string& value : switches)
        commandLine += L" " + QuoteArgument(FromUtf8(value));
    commandLine += L" " + QuoteArgument(L"--user-data-dir=" + m_windowsProfile);
    // Chromium reads from the first handle and writes to the second.
    const std::wstring link = std::to_wstring(static_cast<uintptr_t>(theirDevTools.Get()));
    commandLine += L" --remote-debugging-io-pipes=" + link + L"," + link;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = theirs.Get();
    startup.hStdError = theirs.Get();
    PROCESS_INFORMATION info = {};
    // Suspended until it is in the job, so that nothing it starts escapes the job.
    if (!CreateProcessW(browser.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info)) {
        *error = "cannot start " + ToUtf8(browser) + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    const NsWin32::CKernelHandle processHandle(info.hProcess);
    const NsWin32::CKernelHandle threadHandle(info.hThread);
    if (!AssignProcessToJobObject(m_job.Get(), processHandle.Get())) {
        TerminateProcess(processHandle.Get(), 1);
        *error = "cannot put " + ToUtf8(browser) + " into a job (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    ResumeThread(threadHandle.Get());
    m_pid = std::to_string(info.dwProcessId);
    SetEvent(m_ready.Get());
    m_reader = std::thread([this]() { ReadPipe(); });
    return true;
}

bool CChromiumProcess::WaitForJobEnd(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        DWORD message = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        if (spent >= timeoutMs ||
            !GetQueuedCompletionStatus(m_jobPort.Get(), &message, &key, &overlapped, timeoutMs - spent)) {
            return false;
        }
        if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
            return true;
    }
}

CChromiumProcess::~CChromiumProcess()
{
    if (m_link) {
        shutdown(m_link.Get(), SD_SEND);
        WaitForSingleObject(m_ended.Get(), kCleanupTimeoutMs);
        // A wrapper that outlived the wait must not keep the reader (nor this object) for ever.
        SetEvent(m_stopReading.Get());
    }
    if (m_job) {
        // The output's last writer goes with the job's last process, which ends the reader.
        TerminateJobObject(m_job.Get(), 1);
        WaitForJobEnd(kCleanupTimeoutMs);
    }
    if (m_reader.joinable())
        m_reader.join();
    if (!m_windowsProfile.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(m_windowsProfile), ignored);
    }
    if (m_winsock)
        WSACleanup();
}

void CChromiumProcess::ReadLink()
{
    CStoppableSocketIo io(m_link.Get(), m_stopReading.Get());
    std::string line;
    char buffer[4096];
    size_t read = 0;
    while ((read = io.Receive(buffer, sizeof(buffer))) > 0)
        TakeOutput(buffer, read, &line);
    OutputEnded();
}

void CChromiumProcess::ReadPipe()
{
    std::string line;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(m_output.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        TakeOutput(buffer, read, &line);
    OutputEnded();
}

void CChromiumProcess::OutputEnded()
{
    SetEvent(m_ended.Get());
    SetEvent(m_ready.Get());
}

void CChromiumProcess::TakeOutput(const char* bytes, size_t count, std::string* line)
{
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] == '\r')
            continue; // Windows ends its lines with CR LF
        if (bytes[i] == '\n') {
            TakeLine(*line);
            line->clear();
        } else if (line->size() < kMaxOutputLine) {
            *line += bytes[i];
        }
    }
}

void CChromiumProcess::TakeLine(const std::string& line)
{
    if (line.find(kNoSandbox) != std::string::npos) {
        std::lock_guard<std::mutex> lock(m_failureMutex);
        m_failure = "Chromium's sandbox cannot run here: " + line;
        return;
    }
    // Only the wrapper's own lines, which come before Chromium's, name the process and the
    // profile, the sandbox or a failure.
    if (!m_link || !m_pid.empty())
        return;
    if (line.compare(0, 8, "started ") == 0) {
        const size_t space = line.find(' ', 8);
        if (space != std::string::npos)
            m_profile = line.substr(space + 1);
        m_pid = line.substr(8, space == std::string::npos ? std::string::npos : space - 8);
        SetEvent(m_ready.Get());
    } else if (line.compare(0, 13, "sandbox off: ") == 0) {
        m_sandbox = "off: " + line.substr(13);
    } else if (line.compare(0, 7, "failed ") == 0) {
        std::lock_guard<std::mutex> lock(m_failureMutex);
        m_failure = line.substr(7);
    }
}

} // namespace cefcompat
