// Crashes requested through the control pipe reach the crashed process's own
// unhandled-exception filter; the log setting decides whether anything is written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "client_session.h"

namespace cefcompat_test {
namespace {

using ::testing::HasSubstr;

// The event the test client's filter sets for an access violation in process |pid|.
CHandle CrashEvent(DWORD pid)
{
    const std::wstring name = L"cefcompat-test-crash-" + std::to_wstring(pid);
    return CHandle(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
}

DWORD ExitCodeOf(HANDLE process)
{
    DWORD code = 0;
    if (WaitForSingleObject(process, kWaitMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) {
        return STILL_ACTIVE;
    }
    return code;
}

TEST(CrashTest, ARendererCrashReachesTheRendererFilterAndTheNextLoadStartsANewRenderer)
{
    CClientSession session({L"http://start.test/"});
    ASSERT_TRUE(session.IsReady()) << session.Problem();
    ASSERT_FALSE(session.WaitReport({"load-end", "main=1"}).empty());
    const DWORD pid = static_cast<DWORD>(std::stoul(Field(session.Control("renderer"), "pid")));
    ASSERT_NE(pid, 0u);
    CHandle crashed = CrashEvent(pid);
    CHandle renderer(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid));
    ASSERT_TRUE(renderer);

    EXPECT_EQ(session.Control("crash renderer"), "ok pid=" + std::to_string(pid));
    EXPECT_EQ(WaitForSingleObject(crashed.Get(), kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(renderer.Get()), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_FALSE(session.WaitReport({"renderer-terminated", "status=2"}).empty());
    EXPECT_THAT(session.Control("call echo s:x"), "error no-renderer");

    const uint64_t mark = session.JournalMark();
    session.Send("load http://again.test/");
    EXPECT_NE(session.WaitJournal({"event", "RendererLaunched"}, mark).seq, 0u);
    EXPECT_NE(session.WaitJournal({"renderer", "call", "CefRegisterExtension"}, mark).seq, 0u);
    EXPECT_EQ(session.Control("call echo s:x"), "ok outcome=returned exception=- retval=s:x");
}

TEST(CrashTest, ABrowserProcessCrashReachesTheBrowserProcessFilterAndEndsTheRenderProcess)
{
    CClientSession session({L"http://start.test/"});
    ASSERT_TRUE(session.IsReady()) << session.Problem();
    ASSERT_FALSE(session.WaitReport({"load-end", "main=1"}).empty());
    CHandle renderer(
        OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::stoul(Field(session.Control("renderer"), "pid")))));
    ASSERT_TRUE(renderer);
    CHandle crashed = CrashEvent(session.Pid());
    EXPECT_EQ(session.Control("crash browser"), "ok pid=" + std::to_string(session.Pid()));
    EXPECT_EQ(WaitForSingleObject(crashed.Get(), kWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(session.WaitExit(), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(WaitForSingleObject(renderer.Get(), kWaitMs), WAIT_OBJECT_0);
}

std::wstring TempLogPath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + name + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(path.c_str());
    return path;
}

std::string ReadAll(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void RunConsoleMessage(const std::wstring& severity, const std::wstring& logPath)
{
    CClientSession session({L"--test-log=" + severity, L"--test-log-file=" + logPath, L"http://log.test/"});
    ASSERT_TRUE(session.IsReady()) << session.Problem();
    ASSERT_FALSE(session.WaitReport({"load-end", "main=1"}).empty());
    EXPECT_EQ(session.Control("console hello%20log"), "ok");
    EXPECT_NE(session.WaitJournal({"return", "OnConsoleMessage", "value=0"}).seq, 0u);
    session.Send("close");
    EXPECT_EQ(session.WaitExit(), 0u);
}

TEST(LogTest, DisabledSeverityWritesNoLogAtAll)
{
    const std::wstring path = TempLogPath(L"cefcompat-disabled-");
    RunConsoleMessage(L"disable", path);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(LogTest, InfoSeverityLogsUnhandledConsoleMessages)
{
    const std::wstring path = TempLogPath(L"cefcompat-info-");
    RunConsoleMessage(L"info", path);
    EXPECT_THAT(ReadAll(path), HasSubstr("CONSOLE(1) \"hello log\", source: http://log.test/"));
    DeleteFileW(path.c_str());
}

} // namespace
} // namespace cefcompat_test
