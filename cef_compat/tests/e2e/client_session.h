// One run of the test client under the test's control: starts it with its own pipe, collects
// what it reports, sends it commands, and talks to the runtime's control pipe in it.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../support/line_pipe.h"
#include "TestTime.h"

namespace cefcompat_test {

const DWORD kWaitMs = NsTestSupport::ScaledMs(15000);

struct CJournalHit {
    uint64_t seq = 0; // 0: nothing matched in time
    std::string line;
};

class CClientSession {
public:
    // Starts the client with |arguments| (switches and the start address) and waits until its
    // runtime is initialised and its control pipe is connected. Check IsReady(). The client runs
    // on the scripted engine unless |arguments| choose another (the last switch wins).
    explicit CClientSession(const std::vector<std::wstring>& arguments);
    CClientSession(const CClientSession&) = delete;
    CClientSession& operator=(const CClientSession&) = delete;
    // Closes the browser if the client still runs, and ends the process in any case.
    ~CClientSession();

    bool IsReady() const { return m_ready; }
    // Why the session is not ready, for the test's failure message.
    const std::string& Problem() const { return m_problem; }
    DWORD Pid() const { return m_pid; }
    HANDLE Process() const { return m_process.Get(); }

    bool Send(const std::string& command);
    // Index of the next report; a wait looks at reports from there on.
    size_t ReportMark();
    // The first report from |from| on that has all |terms| as tokens; empty on time-out.
    std::string WaitReport(const std::vector<std::string>& terms, size_t from = 0, DWORD timeoutMs = kWaitMs);

    // One request to the control pipe and its answer ("ok ..." or "error ...").
    std::string Control(const std::string& request);
    uint64_t JournalMark();
    // The first journal line after |after| with all |terms| (in their encoded form).
    CJournalHit WaitJournal(const std::vector<std::string>& terms, uint64_t after = 0, DWORD timeoutMs = kWaitMs);

    // Waits for the client to end; returns its exit code, or STILL_ACTIVE on time-out.
    DWORD WaitExit(DWORD timeoutMs = kWaitMs);

private:
    void ReadReports();

    std::unique_ptr<CLinePipe> m_pipe;
    std::unique_ptr<CLinePipe> m_control;
    CHandle m_process;
    DWORD m_pid = 0;
    bool m_ready = false;
    std::string m_problem;
    CHandle m_stop;
    std::thread m_reader;

    std::mutex m_mutex;
    std::condition_variable m_reported;
    std::vector<std::string> m_reports;
};

// The path of the test client beside this test binary.
std::wstring ClientPath();

} // namespace cefcompat_test
