// Navigation policy, external protocols, certificate errors, render process ends.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_request.h"
#include "include/cef_ssl_info.h"

// May be used from any thread, once. A callback dropped without an answer cancels.
class CefRequestCallback : public virtual CefBase {
public:
    virtual void Continue(bool allow) = 0;
    virtual void Cancel() = 0;
};

// Called on the UI thread.
class CefRequestHandler : public virtual CefBase {
public:
    typedef cef_termination_status_t TerminationStatus;

    // Return true to cancel the navigation.
    virtual bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                                bool is_redirect)
    {
        return false;
    }
    // A URL whose scheme the page engine does not handle. Set |allow_os_execution| to hand it
    // to the operating system (recorded here; nothing is started).
    virtual void OnProtocolExecution(CefRefPtr<CefBrowser> browser, const CefString& url, bool& allow_os_execution) {}
    // Return true and answer through |callback| (now or later) to decide; false cancels the
    // request at once.
    virtual bool OnCertificateError(CefRefPtr<CefBrowser> browser, cef_errorcode_t cert_error,
                                    const CefString& request_url, CefRefPtr<CefSSLInfo> ssl_info,
                                    CefRefPtr<CefRequestCallback> callback)
    {
        return false;
    }
    virtual void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) {}
};
