// pagehull-drive as a program: started with a script against a stand-in host, it prints
// what happened and tells the outcome through its exit code.

#include "Win32Handles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::wstring BinaryFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output; // standard output and error together
};

// Runs pagehull-drive with `arguments`, feeding `input` to its standard input.
ToolRun RunDriver(const std::wstring& arguments, const std::string& input = {})
{
    ToolRun run;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    HANDLE inRead = nullptr;
    HANDLE inWrite = nullptr;
    if (!::CreatePipe(&outRead, &outWrite, &inheritable, 0) || !::CreatePipe(&inRead, &inWrite, &inheritable, 0))
        return run;
    NsWin32::CKernelHandle ourOut(outRead), childOut(outWrite), childIn(inRead), ourIn(inWrite);
    ::SetHandleInformation(ourOut.Get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(ourIn.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn.Get();
    startup.hStdOutput = childOut.Get();
    startup.hStdError = childOut.Get();
    const std::wstring program = BinaryFolder() + L"pagehull-drive.exe";
    std::wstring commandLine = L"\"" + program + L"\" --host=\"" + BinaryFolder() + L"fake_pagehull.exe\" " + arguments;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process))
        return run;
    const NsWin32::CKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    childOut.Reset();
    childIn.Reset();

    DWORD written = 0;
    if (!input.empty())
        ::WriteFile(ourIn.Get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    ourIn.Reset();
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(ourOut.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        run.output.append(chunk, got);
    if (::WaitForSingleObject(processHandle.Get(), 30000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(processHandle.Get(), &run.exitCode);
    return run;
}

std::wstring TempPicture(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

TEST(DriveTool, AScriptFromStandardInputRunsToTheHostsEnd)
{
    const std::wstring picture = TempPicture(L"drive-tool-test.png");
    const ToolRun run = RunDriver(L"--timeout=10000 --png=\"" + picture + L"\" --script=- about:blank",
                                  "wait browserCreated:\n"
                                  "wait loadEnd:200\n"
                                  "url about:blank\n"
                                  "can-go-back false\n"
                                  "# navigation\n"
                                  "load http://example.test/\n"
                                  "wait address:http://example.test/\n"
                                  "can-go-back true\n"
                                  "click 3 1\n"
                                  "wait JSDispatch:click 3,1\n"
                                  "frame\n");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("pid: "));
    EXPECT_THAT(run.output, HasSubstr("event: browserCreated:\n"));
    EXPECT_THAT(run.output, HasSubstr("url: about:blank\n"));
    EXPECT_THAT(run.output, HasSubstr("canGoBack: true\n"));
    EXPECT_THAT(run.output, HasSubstr("frame: 4x2\n"));
    EXPECT_THAT(run.output, HasSubstr("png: "));
    EXPECT_THAT(run.output, HasSubstr("hostExit: 2\n")) << "the host is closed at the end";
    EXPECT_TRUE(::DeleteFileW(picture.c_str()));
}

TEST(DriveTool, StepsOnTheCommandLineAndTheCloseStep)
{
    const ToolRun run = RunDriver(L"--idx=3 about:blank \"script document.title = 'x y'\" "
                                  L"\"wait JSDispatch:document.title = 'x y'\" close");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("hostExit: 2\n"));
}

TEST(DriveTool, ExitCodesTellTheOutcome)
{
    EXPECT_EQ(RunDriver(L"").exitCode, 1u) << "no address";
    EXPECT_EQ(RunDriver(L"about:blank \"jump 1 2\"").exitCode, 1u);
    EXPECT_EQ(RunDriver(L"--host=C:\\missing\\Pagehull.exe about:blank").exitCode, 2u);
    // The short limit is set once the host is up: it bounds the wait, not the host's start.
    const ToolRun late = RunDriver(L"about:blank \"timeout 300\" \"wait never:\"");
    EXPECT_EQ(late.exitCode, 3u) << late.output;
    EXPECT_THAT(late.output, HasSubstr("hostExit: 2\n")) << "a failed script still closes the host";
    EXPECT_EQ(RunDriver(L"about:blank \"url http://*\"").exitCode, 4u);
    const ToolRun closed = RunDriver(L"about:blank close back");
    EXPECT_EQ(closed.exitCode, 5u) << closed.output;
    EXPECT_EQ(RunDriver(L"--no-launch --timeout=300 back").exitCode, 2u) << "nobody opened the pipe";
    EXPECT_EQ(RunDriver(L"about:blank \"page ping\"").exitCode, 2u) << "a host without the scripted engine";
}

} // namespace
