#include "client_session.h"

#include <chrono>

namespace cefcompat_test {
namespace {

std::wstring Quote(const std::wstring& arg)
{
    return arg.find(L' ') == std::wstring::npos ? arg : L"\"" + arg + L"\"";
}

} // namespace

std::wstring ClientPath()
{
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"cefcompat_testclient.exe";
}

CClientSession::CClientSession(const std::vector<std::wstring>& arguments)
    : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    static int counter = 0;
    const std::wstring pipeName =
        L"\\\\.\\pipe\\cefcompat-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    m_pipe = CLinePipe::CreateServer(pipeName);
    if (!m_pipe) {
        m_problem = "the test pipe could not be created";
        return;
    }
    std::wstring commandLine = Quote(ClientPath()) + L" --test-pipe=" + pipeName + L" --cefcompat-engine=scripted";
    for (const std::wstring& arg : arguments)
        commandLine += L" " + Quote(arg);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        m_problem = "the client could not be started: error " + std::to_string(GetLastError());
        return;
    }
    CHandle thread(info.hThread);
    m_process = CHandle(info.hProcess);
    m_pid = info.dwProcessId;
    if (!m_pipe->WaitForClient(kWaitMs)) {
        m_problem = "the client did not connect, exit code " + std::to_string(WaitExit(0));
        return;
    }
    m_reader = std::thread(&CClientSession::ReadReports, this);
    if (WaitReport({"context-initialized"}).empty()) {
        m_problem = "the client reported no initialisation";
        return;
    }
    m_control = CLinePipe::Connect(L"\\\\.\\pipe\\cefcompat-control-" + std::to_wstring(m_pid), kWaitMs);
    if (!m_control)
        m_problem = "no control pipe, error " + std::to_string(GetLastError());
    m_ready = m_control != nullptr;
}

CClientSession::~CClientSession()
{
    if (m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
        Send("close");
        if (WaitExit(kWaitMs) == STILL_ACTIVE)
            TerminateProcess(m_process.Get(), 1);
    }
    SetEvent(m_stop.Get());
    if (m_reader.joinable())
        m_reader.join();
}

void CClientSession::ReadReports()
{
    std::string line;
    while (m_pipe->ReadLine(&line, INFINITE, m_stop.Get())) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back(line);
        m_reported.notify_all();
    }
}

bool CClientSession::Send(const std::string& command)
{
    return m_pipe && m_pipe->WriteLine(command, kWaitMs);
}

size_t CClientSession::ReportMark()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports.size();
}

std::string CClientSession::WaitReport(const std::vector<std::string>& terms, size_t from, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::string found;
    m_reported.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&]() {
        for (size_t i = from; i < m_reports.size(); ++i) {
            if (HasTokens(m_reports[i], terms)) {
                found = m_reports[i];
                return true;
            }
        }
        return false;
    });
    return found;
}

std::string CClientSession::Control(const std::string& request)
{
    std::string answer;
    if (!m_control)
        return "error no-answer";
    if (!m_control->WriteLine(request, kWaitMs))
        return "error no-answer write " + std::to_string(GetLastError());
    if (!m_control->ReadLine(&answer, 2 * kWaitMs))
        return "error no-answer read " + std::to_string(GetLastError());
    return answer;
}

uint64_t CClientSession::JournalMark()
{
    return std::stoull("0" + Field(Control("mark"), "seq"));
}

CJournalHit CClientSession::WaitJournal(const std::vector<std::string>& terms, uint64_t after, DWORD timeoutMs)
{
    std::string request = "wait " + std::to_string(timeoutMs) + " " + std::to_string(after);
    for (const std::string& term : terms)
        request += " " + term;
    const std::string answer = Control(request);
    CJournalHit hit;
    if (answer.compare(0, 3, "ok ") == 0) {
        hit.seq = std::stoull(Field(answer, "seq"));
        hit.line = Decode(Field(answer, "line"));
    }
    return hit;
}

DWORD CClientSession::WaitExit(DWORD timeoutMs)
{
    if (!m_process || WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_process.Get(), &code);
    return code;
}

} // namespace cefcompat_test
