// The Windows side of the Chromium process: the browser App Paths name, and a Windows browser
// (a stand-in) that runs inside a job which ends it, and everything it started, with the object,
// and answers on its debugging pipe.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "../../../tests/support/TestTime.h"
#include "engines/chromium_process.h"
#include "engines/devtools_connection.h"
#include "runtime/text.h"
#include "Win32Owners.h"

namespace cefcompat {
namespace {

const wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr DWORD kStartTimeoutMs = 60000;

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH] = {};
    const std::wstring module(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return module.substr(0, module.find_last_of(L'\\'));
}

std::wstring FakeBrowser()
{
    return BinFolder() + L"\\fake_browser.exe";
}

// The current user's App Paths entry of one program, removed again with the object.
class CAppPathsEntry {
public:
    explicit CAppPathsEntry(const std::wstring& program) : m_name(std::wstring(kAppPaths) + program)
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, m_name.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &m_key, nullptr);
    }
    ~CAppPathsEntry()
    {
        if (m_key)
            RegCloseKey(m_key);
        RegDeleteKeyW(HKEY_CURRENT_USER, m_name.c_str());
    }
    CAppPathsEntry(const CAppPathsEntry&) = delete;
    CAppPathsEntry& operator=(const CAppPathsEntry&) = delete;

    void Set(const std::wstring& value)
    {
        ASSERT_EQ(RegSetValueExW(m_key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

private:
    std::wstring m_name;
    HKEY m_key = nullptr;
};

TEST(ChromiumProcessTest, AppPathsNameTheFirstProgramThatExists)
{
    CAppPathsEntry edge(L"msedge.exe");
    CAppPathsEntry chrome(L"chrome.exe");
    chrome.Set(L"\"" + FakeBrowser() + L"\"");
    for (const std::wstring& unusable : {std::wstring(L"fake_browser.exe"), BinFolder() + L"\\missing.exe", BinFolder(),
                                         FakeBrowser() + L"\" --flag", std::wstring()}) {
        edge.Set(unusable);
        EXPECT_EQ(BrowserFromAppPaths(), FakeBrowser()) << ToUtf8(unusable);
    }
    const std::wstring edgePath = BinFolder() + L"\\..\\bin\\fake_browser.exe";
    edge.Set(edgePath);
    EXPECT_EQ(BrowserFromAppPaths(), edgePath);
}

std::wstring SystemProgram(const wchar_t* name)
{
    wchar_t system[MAX_PATH] = {};
    return std::wstring(system, GetSystemDirectoryW(system, MAX_PATH)) + L"\\" + name;
}

// A profile folder as a host with process id |pid| leaves it, with a file in it.
std::wstring ProfileLeftBy(DWORD pid)
{
    wchar_t temp[MAX_PATH + 1] = {};
    const std::wstring folder(temp, GetTempPathW(MAX_PATH + 1, temp));
    const std::wstring profile = folder + L"cefcompat-chromium." + std::to_wstring(pid) + L".1.0";
    std::filesystem::create_directories(std::filesystem::path(profile));
    std::ofstream(std::filesystem::path(profile + L"\\Local State")) << "{}";
    return profile;
}

TEST(ChromiumProcessTest, AWindowsBrowserAndWhatItStartedEndWithTheObject)
{
    // A killed host's folder goes with the next start; a running host's stays.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION ended = {};
    std::wstring exitAtOnce = L"cmd.exe /c exit";
    ASSERT_TRUE(CreateProcessW(SystemProgram(L"cmd.exe").c_str(), &exitAtOnce[0], nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, nullptr, &startup, &ended));
    const NsWin32::CKernelHandle endedProcess(ended.hProcess);
    const NsWin32::CKernelHandle endedThread(ended.hThread);
    ASSERT_EQ(WaitForSingleObject(endedProcess.Get(), NsTestSupport::ScaledMs(10000)), WAIT_OBJECT_0);
    const std::wstring orphan = ProfileLeftBy(ended.dwProcessId);
    const std::wstring running = ProfileLeftBy(GetCurrentProcessId());

    std::string error;
    auto process =
        CChromiumProcess::Start(FakeBrowser(), HeadlessSwitches(), NsTestSupport::ScaledMs(kStartTimeoutMs), &error);
    ASSERT_TRUE(process) << error;
    EXPECT_EQ(GetFileAttributesW(orphan.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(running.c_str()), INVALID_FILE_ATTRIBUTES);
    std::filesystem::remove_all(std::filesystem::path(running));

    // A message longer than the connection takes is dropped; the answer after it arrives.
    int messages = 0;
    CDevToolsConnection connection([&](nlohmann::json&) { ++messages; }, []() {}, 1024);
    ASSERT_TRUE(connection.Open(process->DevToolsLink(), &error)) << error;
    const auto answer = connection.Call("Browser.getVersion", nlohmann::json::object(), "",
                                        static_cast<int>(NsTestSupport::ScaledMs(kStartTimeoutMs)));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ((*answer)["result"]["product"], "fake");
    connection.Stop();
    EXPECT_EQ(messages, 0);

    // The stand-in wrote its note before it answered.
    const std::wstring profile = FromUtf8(process->Profile());
    std::ifstream note(std::filesystem::path(profile + L"\\fake-browser.txt"));
    unsigned long childId = 0;
    std::string givenProfile;
    note >> childId;
    std::getline(note >> std::ws, givenProfile);
    note.close();
    EXPECT_EQ(givenProfile, process->Profile());
    const NsWin32::CKernelHandle browser(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(process->Pid())));
    const NsWin32::CKernelHandle child(OpenProcess(SYNCHRONIZE, FALSE, childId));
    ASSERT_TRUE(browser && child);

    process.reset();
    EXPECT_EQ(WaitForSingleObject(browser.Get(), NsTestSupport::ScaledMs(10000)), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(child.Get(), NsTestSupport::ScaledMs(10000)), WAIT_OBJECT_0);
    EXPECT_EQ(GetFileAttributesW(profile.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ChromiumProcessTest, ABrowserThatEndsClosesItsPipe)
{
    std::string error;
    auto process = CChromiumProcess::Start(SystemProgram(L"cmd.exe"), {"/c", "exit"},
                                           NsTestSupport::ScaledMs(kStartTimeoutMs), &error);
    ASSERT_TRUE(process) << error;
    const NsWin32::CKernelHandle closed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CDevToolsConnection connection([](nlohmann::json&) {}, [&]() { SetEvent(closed.Get()); });
    ASSERT_TRUE(connection.Open(process->DevToolsLink(), &error)) << error;
    EXPECT_EQ(WaitForSingleObject(closed.Get(), NsTestSupport::ScaledMs(kStartTimeoutMs)), WAIT_OBJECT_0);
}

} // namespace
} // namespace cefcompat
