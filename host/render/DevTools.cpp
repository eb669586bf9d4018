#include "DevTools.h"

#include "OffscreenBrowserWindow.h"

namespace {

const wchar_t kDevToolsWindowName[] = L"Dev Tools";

} // namespace

void COffscreenBrowserWindow::ShowDevTools()
{
    CEF_REQUIRE_UI_THREAD();
    if (!m_browser)
        return;
    // An ordinary window owned by ours, so that it goes away with it at the latest.
    CefWindowInfo windowInfo;
    windowInfo.SetAsPopup(m_hwnd.Get(), kDevToolsWindowName);
    // CEF decides what a second call does while the tools are open.
    m_browser->GetHost()->ShowDevTools(windowInfo, new CDevToolsClient, CefBrowserSettings(), CefPoint(0, 0));
}
