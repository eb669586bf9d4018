// How Slidewarp.dll meets the presentation program: how long it waits for it to come up,
// when it waits for the meeting add-in inside it, when it lets it quit, and which Windows
// versions it accepts.
#include <windows.h>

#include <gtest/gtest.h>

#include "EndToEndSupport.h"
#include "PowerPointAutomation.h"
#include "TestFolder.h"
#include "TestTime.h"
#include "platform/FileSystem.h"

using namespace EndToEnd;
using NsConverter::StartPowerPoint;
using NsPlatform::FileSystem;
using NsWin32::CKernelHandle;

namespace {

constexpr DWORD kStartupDelayMs = 6000;
constexpr DWORD kRunningProbeMs = 5000;
constexpr DWORD kAddInSettleMs = 1000;
constexpr DWORD kProcessEndTimeoutMs = 30000;
// A copy of the stand-in under another image name: the library then takes it for "not running"
// while the test holds it alive.
constexpr wchar_t kRenamedImage[] = L"PPTHOST.EXE";

class CStopwatch {
public:
    CStopwatch() : m_start(GetTickCount()) {}
    DWORD Elapsed() const { return GetTickCount() - m_start; }

private:
    DWORD m_start;
};

CKernelHandle StartProgram(const std::wstring& path, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    EXPECT_TRUE(CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &created));
    const CKernelHandle thread(created.hThread);
    return CKernelHandle(created.hProcess);
}

bool IsAlive(const std::wstring& image)
{
    return !ProcessIds(image).empty();
}

class SlidewarpStartup : public CEndToEndTest {
protected:
    CTestFolder m_folder;
    CStandinSettings m_settings;
};

// A process named like the program that is not the program, until the test lets it end.
class CLookalikeProgram {
public:
    explicit CLookalikeProgram(const CTestFolder& folder)
        : m_name(UniqueName(L"lookalike")),
          m_ready(CreateEventW(nullptr, FALSE, FALSE, (m_name + L"-ready").c_str())),
          m_go(CreateEventW(nullptr, FALSE, FALSE, (m_name + L"-go").c_str()))
    {
        const std::wstring path = folder.Path(L"POWERPNT.EXE");
        EXPECT_TRUE(CopyFileW((BinFolder() + L"NamedMutexHolder.exe").c_str(), path.c_str(), FALSE));
        m_process = StartProgram(path, L"hold " + m_name);
        EXPECT_EQ(WaitForSingleObject(m_ready.Get(), NsTestSupport::ScaledMs(kProcessEndTimeoutMs)), WAIT_OBJECT_0);
    }
    ~CLookalikeProgram()
    {
        SetEvent(m_go.Get());
        WaitForSingleObject(m_ready.Get(), NsTestSupport::ScaledMs(kProcessEndTimeoutMs));
        SetEvent(m_go.Get());
        WaitForSingleObject(m_process.Get(), NsTestSupport::ScaledMs(kProcessEndTimeoutMs));
    }
    CLookalikeProgram(const CLookalikeProgram&) = delete;
    CLookalikeProgram& operator=(const CLookalikeProgram&) = delete;

private:
    std::wstring m_name;
    CKernelHandle m_ready;
    CKernelHandle m_go;
    CKernelHandle m_process;
};

// The stand-in registered from a copy named PPTHOST.EXE, for as long as the test runs.
class SlidewarpQuit : public SlidewarpStartup {
protected:
    void SetUp() override
    {
        SlidewarpStartup::SetUp();
        EndPresentationProgram();
        const std::wstring copy = m_folder.Path(kRenamedImage);
        ASSERT_TRUE(CopyFileW((BinFolder() + L"POWERPNT.EXE").c_str(), copy.c_str(), FALSE));
        ASSERT_EQ(RunProgram(copy, L"/RegServer"), 0u);
        m_settings.Version(L"11.0", L"6500");
    }
    void TearDown() override
    {
        m_application.Reset();
        EXPECT_TRUE(WaitForProcessesToEnd(kRenamedImage, kProcessEndTimeoutMs));
        RegisterStandins();
        SlidewarpStartup::TearDown();
    }

    // Started and held by the test, so that only Quit can end it.
    void HoldProgram()
    {
        m_application = StartPowerPoint();
        ASSERT_TRUE(m_application);
        ASSERT_TRUE(IsAlive(kRenamedImage));
    }
    bool ProgramEnds() { return WaitForProcessesToEnd(kRenamedImage, kProcessEndTimeoutMs); }
    void QuitProgram()
    {
        m_application->Quit();
        m_application.Reset();
    }

    std::wstring Input()
    {
        const std::wstring path = m_folder.Path(UniqueName(L"deck") + L".pptx");
        WriteSample(path);
        return path;
    }

    NsConverter::CComPtr<NsConverter::PowerPoint::_Application> m_application;
};

// A Windows version that Wine reports to one program, slidewarp.exe, by its own setting.
class CReportedWindowsVersion {
public:
    explicit CReportedWindowsVersion(const std::wstring& version)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const NsWin32::CRegistryKey owner(key);
        EXPECT_EQ(RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                                 static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    ~CReportedWindowsVersion() { RegDeleteKeyW(HKEY_CURRENT_USER, kKey); }
    CReportedWindowsVersion(const CReportedWindowsVersion&) = delete;
    CReportedWindowsVersion& operator=(const CReportedWindowsVersion&) = delete;

private:
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\slidewarp.exe";
};

DWORD RunSlidewarp(const std::wstring& arguments)
{
    return RunProgram(BinFolder() + L"slidewarp.exe", arguments);
}

} // namespace

TEST_F(SlidewarpStartup, AProgramThatMustStartIsGivenTenSeconds)
{
    EndPresentationProgram();
    m_settings.Set(L"StartupDelayMs", kStartupDelayMs);

    const CStopwatch stopwatch;
    EXPECT_EQ(Slidewarp().IsPPTXtoPPTSupported(), 0);
    EXPECT_GE(stopwatch.Elapsed(), kStartupDelayMs);
}

TEST_F(SlidewarpStartup, AProgramThatRunsButDoesNotAnswerIsGivenFiveSeconds)
{
    EndPresentationProgram();
    m_settings.Set(L"StartupDelayMs", kStartupDelayMs);
    const auto before = GeneratedFolders();
    const std::wstring input = m_folder.Path(L"deck.pptx");
    WriteSample(input);
    {
        const CLookalikeProgram lookalike(m_folder);
        const CStopwatch stopwatch;
        std::wstring output;
        // The program comes up after six seconds: the ten seconds for a program that must
        // start would have met it, so the refusal shows that the shorter wait was used.
        EXPECT_EQ(Slidewarp().ConvertToGeneratedPath(input, output), 1002);
        EXPECT_GE(stopwatch.Elapsed(), kRunningProbeMs);
    }
    EXPECT_EQ(GeneratedFolders(), before);
    // The probe finishes on its own once the program is up, and lets it go.
    EXPECT_TRUE(WaitForProcessesToEnd(kStandinImage, kProcessEndTimeoutMs));
}

TEST_F(SlidewarpStartup, TheMeetingAddInIsWaitedForOnlyWhenLoadedAndNamedExactly)
{
    const auto held = StartPowerPoint();
    ASSERT_TRUE(held);
    const auto versionTakes = [this] {
        wchar_t version[16];
        wchar_t build[16];
        const CStopwatch stopwatch;
        EXPECT_TRUE(Slidewarp().GetPowerPointVersion(version, 16, build, 16));
        return stopwatch.Elapsed();
    };

    m_settings.AddIn(L"a", L"Other.AddIn", L"{00000000-0000-0000-0000-000000000001}", true);
    m_settings.AddIn(L"b", L"Meeting.AddIn", kMeetingAddInGuid, true);
    EXPECT_GE(versionTakes(), kAddInSettleMs);

    // That nothing is waited for otherwise only a clock could tell, and a busy machine would
    // make it lie: these calls are only asked to answer.
    m_settings.AddIn(L"b", L"Meeting.AddIn", kMeetingAddInGuid, false);
    versionTakes();

    m_settings.AddIn(L"b", L"Meeting.AddIn", L"{d68ed28d-be2c-49ac-845d-e6aeaf6c7d33}", true);
    versionTakes();

    // An add-in list that cannot be read is no reason to fail.
    m_settings.AddIn(L"b", L"Meeting.AddIn", kMeetingAddInGuid, true);
    m_settings.Set(L"FailComAddIns", 1);
    versionTakes();
}

TEST_F(SlidewarpQuit, AProgramThatTheConversionStartedIsToldToQuitWhenNothingIsOpen)
{
    HoldProgram();
    EXPECT_EQ(Slidewarp().Convert(Input(), m_folder.Path(L"out.ppt")), 0);
    EXPECT_TRUE(ProgramEnds());
}

TEST_F(SlidewarpQuit, AProgramWithAPresentationOpenIsNotToldToQuit)
{
    HoldProgram();
    const auto untitled = m_application->GetPresentations()->Add(NsConverter::PowerPoint::msoFalse);
    EXPECT_EQ(Slidewarp().Convert(Input(), m_folder.Path(L"out.ppt")), 0);
    EXPECT_TRUE(IsAlive(kRenamedImage));
    EXPECT_EQ(m_application->GetVersion(), L"11.0");
    QuitProgram();
}

TEST_F(SlidewarpQuit, AFailingQuitDoesNotUndoACompleteConversion)
{
    HoldProgram();
    m_settings.Set(L"FailQuit", 1);
    EXPECT_EQ(Slidewarp().Convert(Input(), m_folder.Path(L"out.ppt")), 0);
    EXPECT_TRUE(IsCompoundDocument(m_folder.Path(L"out.ppt")));
    m_settings.Set(L"FailQuit", 0u);
    QuitProgram();
}

TEST_F(SlidewarpQuit, TheDirectRouteNeverQuits)
{
    HoldProgram();
    m_settings.Version(L"16.0", L"4266");
    EXPECT_EQ(Slidewarp().Convert(Input(), m_folder.Path(L"out.ppt")), 0);
    EXPECT_EQ(m_application->GetVersion(), L"16.0");
    QuitProgram();
}

TEST_F(SlidewarpStartup, AProgramThatWasRunningIsNotToldToQuit)
{
    m_settings.Version(L"11.0", L"6500");
    const auto held = StartPowerPoint();
    ASSERT_TRUE(held);
    const std::wstring input = m_folder.Path(L"deck.pptx");
    WriteSample(input);

    EXPECT_EQ(Slidewarp().Convert(input, m_folder.Path(L"out.ppt")), 0);
    EXPECT_EQ(held->GetVersion(), L"11.0");
}

TEST_F(SlidewarpStartup, Windows2000AndServer2003AreRefused)
{
    const std::wstring input = m_folder.Path(L"deck.pptx");
    WriteSample(input);
    for (const wchar_t* version : {L"win2k", L"win2003"}) {
        const CReportedWindowsVersion reported(version);
        EXPECT_EQ(RunSlidewarp(L"convert \"" + input + L"\" \"" + m_folder.Path(L"out.ppt") + L"\""), 2005u)
            << Narrow(version);
        EXPECT_EQ(RunSlidewarp(L"supported"), 2005u) << Narrow(version);
    }
    const CReportedWindowsVersion reported(L"winxp");
    EXPECT_EQ(RunSlidewarp(L"supported"), 0u);
    EXPECT_EQ(RunSlidewarp(L"convert \"" + input + L"\" \"" + m_folder.Path(L"out.ppt") + L"\""), 0u);
}
