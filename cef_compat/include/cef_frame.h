// One frame of a browser's page.
#pragma once

#include "include/cef_base.h"
#include "include/cef_request.h"

class CefBrowser;
class CefV8Context;

// Methods may be called from any thread of the browser process; actions are carried out on
// the UI thread in the order called, queries answer at once.
class CefFrame : public virtual CefBase {
public:
    // False once the frame has gone (its browser closed, or the page that held it replaced).
    virtual bool IsValid() = 0;
    virtual void LoadURL(const CefString& url) = 0;
    virtual void LoadRequest(CefRefPtr<CefRequest> request) = 0;
    virtual void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) = 0;
    virtual bool IsMain() = 0;
    virtual bool IsFocused() = 0;
    virtual CefString GetName() = 0;
    virtual int64 GetIdentifier() = 0;
    virtual CefRefPtr<CefFrame> GetParent() = 0;
    virtual CefString GetURL() = 0;
    virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
    // Render process only: the frame's script context.
    virtual CefRefPtr<CefV8Context> GetV8Context() = 0;
};
