#include "PowerPointAutomation.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <cstdlib>

#include "PackDetection.h"
#include "platform/FileSystem.h"
#include "LeavingServer.h"
#include "Win32Owners.h"

namespace NsConverter {

using namespace PowerPoint;

namespace {

constexpr wchar_t kProgId[] = L"PowerPoint.Application";
constexpr wchar_t kImageName[] = L"POWERPNT.EXE";
constexpr DWORD kProbeTimeoutRunningMs = 5000;
constexpr DWORD kProbeTimeoutStartingMs = 10000;
constexpr wchar_t kMeetingAddInGuid[] = L"{D68ED28D-BE2C-49AC-845D-E6AEAF6C7D33}";
constexpr DWORD kMeetingAddInSettleMs = 1000;
constexpr double kDirectRouteVersion = 12.0;
constexpr double kCompatibilityPackVersion = 11.0;

// The thread's exit code when the program did not answer.
constexpr DWORD kProbeFailed = 1;
// A program that leaves just as it is asked is one attempt; two in a row would be a program that
// is started and leaves again, which a further attempt would not change.
constexpr int kActivationAttempts = 2;

// Our own meeting add-in is still setting itself up inside the program when the program first
// answers; automating it during that time disturbs the add-in. Any error here only ends the
// wait.
void WaitForMeetingAddIn(_Application& application) noexcept
{
    try {
        for (long index = 1; index <= application.GetCOMAddIns()->GetCount(); ++index) {
            const CComPtr<COMAddIn> addIn = application.GetCOMAddIns()->Item(index);
            if (addIn->GetConnect() != VARIANT_TRUE)
                continue;
            // The identifier is asked for as well: an add-in that cannot name itself is broken,
            // and nothing is waited for.
            addIn->GetProgId();
            if (addIn->GetGuid() == kMeetingAddInGuid) {
                ::Sleep(kMeetingAddInSettleMs);
                return;
            }
        }
    } catch (...) {
    }
}

DWORD ProbeOnce() noexcept
{
    DWORD result = kProbeFailed;
    const CComApartment apartment;
    try {
        if (StartPowerPoint())
            result = 0;
    } catch (...) {
    }
    return result;
}

DWORD WINAPI ProbeThreadProc(LPVOID module)
{
    const DWORD result = ProbeOnce();
    if (module)
        ::FreeLibraryAndExitThread(static_cast<HMODULE>(module), result);
    return result;
}

// A reference on the module that holds this code (the library, or a program that links the
// same objects).
NsWin32::CModuleReference ReferenceThisModule() noexcept
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&kProgId), &module);
    return NsWin32::CModuleReference(module);
}

// One activation and the query for the application interface; |queried| tells whether the
// failure, if any, is the query's.
HRESULT ActivateApplication(REFCLSID applicationClass, CComPtr<_Application>& application, bool& queried)
{
    CComPtr<IUnknown> unknown;
    queried = false;
    const HRESULT created =
        ::CoCreateInstance(applicationClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                           IID_IUnknown, unknown.ReceiveVoid());
    if (FAILED(created))
        return created;
    queried = true;
    application.Reset();
    return unknown->QueryInterface(_Application::kIid, application.ReceiveVoid());
}

} // namespace

bool IsSupportedWindowsVersion() noexcept
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!::GetVersionExW(&info))
        return false;
    return (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) || info.dwMajorVersion >= 6;
}

bool IsPowerPointRunning() noexcept
{
    const NsWin32::CFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL found = ::Process32FirstW(snapshot.Get(), &entry); found;
         found = ::Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, kImageName) == 0)
            return true;
    }
    return false;
}

CComPtr<_Application> StartPowerPoint()
{
    CLSID applicationClass;
    if (::CLSIDFromProgID(kProgId, &applicationClass) != S_OK)
        return CComPtr<_Application>();
    CComPtr<_Application> application;
    HRESULT result = E_FAIL;
    bool queried = false;
    // A server that was leaving may fail either step; one more attempt reaches a new instance.
    for (int attempt = 0; attempt < kActivationAttempts; ++attempt) {
        result = ActivateApplication(applicationClass, application, queried);
        if (!NsWin32::ReachedLeavingServer(result))
            break;
    }
    if (result == E_NOINTERFACE || (FAILED(result) && !queried))
        return CComPtr<_Application>();
    if (FAILED(result))
        throw _com_error(result);
    if (application)
        WaitForMeetingAddIn(*application);
    return application;
}

ProbeResult ProbePowerPoint() noexcept
{
    const DWORD timeout = IsPowerPointRunning() ? kProbeTimeoutRunningMs : kProbeTimeoutStartingMs;
    NsWin32::CModuleReference module = ReferenceThisModule();
    const NsWin32::CKernelHandle thread(::CreateThread(nullptr, 0, ProbeThreadProc, module.Get(), 0, nullptr));
    if (!thread)
        return ProbeCannotStart;
    // The worker gives the reference back when it ends.
    static_cast<void>(module.Release());
    if (::WaitForSingleObject(thread.Get(), timeout) == WAIT_TIMEOUT)
        return ProbeTimedOut;
    DWORD exitCode = kProbeFailed;
    return ::GetExitCodeThread(thread.Get(), &exitCode) && exitCode == 0 ? ProbeAnswered : ProbeCannotStart;
}

bool QueryPowerPointVersion(std::wstring& version, std::wstring& build) noexcept
{
    const CComApartment apartment;
    try {
        const CComPtr<_Application> application = StartPowerPoint();
        if (!application)
            return false;
        version = application->GetVersion();
        build = application->GetBuild();
        DetectedVersion = _wtof(version.c_str());
        DetectedBuild = _wtoi(build.c_str());
        return true;
    } catch (...) {
        return false;
    }
}

StatusCode CheckConversionSupport()
{
    switch (ProbePowerPoint()) {
    case ProbeTimedOut: return StatusStartTimeout;
    case ProbeCannotStart: return StatusCannotStart;
    case ProbeAnswered: break;
    }
    if (!IsSupportedWindowsVersion())
        return StatusUnsupportedWindows;
    std::wstring version;
    std::wstring build;
    QueryPowerPointVersion(version, build);
    const double number = _wtof(version.c_str());
    const bool packInstalled = IsCompatibilityPackInstalled();
    // A version that is not a number fails both comparisons.
    if (number >= kDirectRouteVersion || (number == kCompatibilityPackVersion && packInstalled))
        return StatusSuccess;
    return StatusFailed;
}

StatusCode ConvertDirectly(const std::wstring& copyPath, const std::wstring& outputPath)
{
    // The output did not exist when the conversion checked it; a read-only file that has
    // appeared since is left alone.
    if (NsPlatform::FileSystem::IsFileReadOnly(outputPath))
        return StatusFailed;
    const CComPtr<_Application> application = StartPowerPoint();
    if (!application)
        return StatusCannotStart;
    const CComPtr<_Presentation> presentation =
        application->GetPresentations()->Open(copyPath, msoTrue, msoFalse, msoFalse);
    if (!presentation)
        return StatusNotOpened;
    const StatusCode result =
        presentation->SaveAs(outputPath, ppSaveAsPresentation, msoFalse) == S_OK ? StatusSuccess : StatusSaveIncomplete;
    IgnoreComError([&] { presentation->Close(); });
    return result;
}

} // namespace NsConverter
