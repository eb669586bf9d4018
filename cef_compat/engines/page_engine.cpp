#include "engines/page_engine.h"

#include <optional>

#include "engines/chromium_engine.h"
#include "engines/chromium_process.h"
#include "engines/scripted_engine.h"
#include "include/cef_command_line.h"
#include "runtime/log.h"

namespace cefcompat {
namespace {

// What the page says when its browser cannot be used: that none was found, where the runtime
// looked and how to name one.
std::vector<std::wstring> NoBrowserNotice(const std::wstring& browser, const std::string& reason)
{
    return {L"No browser was found to show this page.",
            L"Looked for: " +
                (browser.empty() ? std::wstring(L"msedge.exe and chrome.exe in the registry's App Paths") : browser),
            L"Why: " + FromUtf8(reason), L"Name one on the host's command line: --cefcompat-browser=PATH"};
}

// The Chromium engine's options from the browser process's command line; none for the
// scripted engine.
std::optional<CChromiumOptions> ChromiumOptionsOfProcess()
{
    CefRefPtr<CefCommandLine> commandLine = CefCommandLine::GetGlobalCommandLine();
    if (commandLine->GetSwitchValue("cefcompat-engine").ToWString() == L"scripted")
        return std::nullopt;
    CChromiumOptions options;
    options.browser = commandLine->GetSwitchValue("cefcompat-browser").ToWString();
    if (options.browser.empty())
        options.browser = DefaultBrowser();
    options.pngFrames = commandLine->GetSwitchValue("cefcompat-frames").ToWString() == L"png";
    return options;
}

} // namespace

std::unique_ptr<IPageEngine> LaunchPageEngine(IPageSite& site, std::unique_ptr<CChromiumLaunch> early)
{
    std::optional<CChromiumOptions> options = ChromiumOptionsOfProcess();
    if (!options)
        return std::make_unique<CScriptedEngine>(site);
    const std::wstring browser = options->browser;
    auto chromium = std::make_unique<CChromiumEngine>(site, std::move(*options));
    std::string error;
    if (chromium->Launch(std::move(early), &error))
        return chromium;
    const std::vector<std::wstring> notice = NoBrowserNotice(browser, error);
    std::wstring text;
    for (const std::wstring& line : notice)
        text += (text.empty() ? L"" : L" ") + line;
    LogMessage(LOGSEVERITY_ERROR, ToUtf8(text));
    site.Record(site.EventLine("NoBrowser").Add("notice", text));
    return std::make_unique<CScriptedEngine>(site, notice);
}

std::unique_ptr<CChromiumLaunch> StartEngineBrowser()
{
    const std::optional<CChromiumOptions> options = ChromiumOptionsOfProcess();
    if (!options)
        return nullptr;
    return std::make_unique<CChromiumLaunch>(options->browser, HeadlessSwitches(), CChromiumEngine::kStartTimeoutMs);
}

} // namespace cefcompat
