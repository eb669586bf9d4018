#include "OffscreenBrowserApp.h"

#include "HostEntry.h"
#include "JsExtension.h"
#include "OffscreenBrowserWindow.h"

#include <cwchar>
#include <string>

namespace {

const wchar_t kIndexSwitch[] = L"idx";
const wchar_t kParentPidSwitch[] = L"pid";
const wchar_t kCrashMessagePrefix[] = L"PagehullCrashMessage_";

// Leading white space and a sign are accepted, parsing stops at the first non-digit, text
// without digits is 0, and values beyond the int range are clamped rather than wrapped.
int ParseSwitchNumber(const std::wstring& text)
{
    return static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
}

} // namespace

COffscreenBrowserApp::COffscreenBrowserApp(HINSTANCE instance) : m_hInstance(instance) {}

COffscreenBrowserApp::~COffscreenBrowserApp() = default;

void COffscreenBrowserApp::OnBeforeCommandLineProcessing(const CefString& /*processType*/,
                                                         CefRefPtr<CefCommandLine> commandLine)
{
    const std::wstring index = commandLine->GetSwitchValue(kIndexSwitch);
    if (index.empty())
        return;
    m_instanceIndex = ParseSwitchNumber(index);

    const std::wstring parentPid = commandLine->GetSwitchValue(kParentPidSwitch);
    if (parentPid.empty())
        return;
    m_parentPid = ParseSwitchNumber(parentPid);

    // The name carries the add-in's id, so only the add-in that started us recognises it.
    const std::wstring messageName = kCrashMessagePrefix + std::to_wstring(m_parentPid);
    g_crashMessageId = ::RegisterWindowMessageW(messageName.c_str());

    CefCommandLine::ArgumentList arguments;
    commandLine->GetArguments(arguments);
    if (!arguments.empty())
        m_startUrl = arguments.front();
}

void COffscreenBrowserApp::OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> commandLine)
{
    // Also when we run without them (-1 and 0): every sub-process then registers the same
    // crash message as this process.
    commandLine->AppendSwitchWithValue(kIndexSwitch, std::to_wstring(m_instanceIndex));
    commandLine->AppendSwitchWithValue(kParentPidSwitch, std::to_wstring(m_parentPid));
}

void COffscreenBrowserApp::OnWebKitInitialized()
{
    RegisterPageScriptExtension();
}

void COffscreenBrowserApp::OnContextInitialized()
{
    m_window = new COffscreenBrowserWindow(m_parentPid, m_instanceIndex, m_startUrl, m_hInstance);
    m_window->CreateHostWindow();
}
