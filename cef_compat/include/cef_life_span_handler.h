// Creation and closing of browsers, and popup requests.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

class CefClient;

// Called on the UI thread.
class CefLifeSpanHandler : public virtual CefBase {
public:
    // Return true to refuse the popup. Otherwise it is created from |windowInfo|, |client| and
    // |settings|, which may be changed here.
    virtual bool OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                               const CefString& target_frame_name, const CefPopupFeatures& popupFeatures,
                               CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client, CefBrowserSettings& settings,
                               bool* no_javascript_access)
    {
        return false;
    }
    virtual void OnAfterCreated(CefRefPtr<CefBrowser> browser) {}
    virtual bool RunModal(CefRefPtr<CefBrowser> browser) { return false; }
    // Return true when the client closes the browser's window itself.
    virtual bool DoClose(CefRefPtr<CefBrowser> browser) { return false; }
    // Last call for the browser; drop every reference to it here.
    virtual void OnBeforeClose(CefRefPtr<CefBrowser> browser) {}
};
