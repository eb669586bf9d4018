#include "engines/page_engine.h"

#include "engines/chromium_engine.h"
#include "engines/chromium_process.h"
#include "engines/scripted_engine.h"
#include "include/cef_command_line.h"

namespace cefcompat {

std::unique_ptr<IPageEngine> CreatePageEngine(IPageSite& site)
{
    CefRefPtr<CefCommandLine> commandLine = CefCommandLine::GetGlobalCommandLine();
    if (commandLine->GetSwitchValue("cefcompat-engine").ToWString() != L"chromium") {
        return std::make_unique<CScriptedEngine>(site);
    }
    CChromiumOptions options;
    options.browser = commandLine->GetSwitchValue("cefcompat-browser").ToWString();
    if (options.browser.empty())
        options.browser = DefaultBrowser();
    options.pngFrames = commandLine->GetSwitchValue("cefcompat-frames").ToWString() == L"png";
    return std::make_unique<CChromiumEngine>(site, options);
}

} // namespace cefcompat
