// Script dialogs (alert, confirm, prompt) and the question before a page is left.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"

// May be used from any thread, once. A callback dropped without an answer counts as
// dismissed.
class CefJSDialogCallback : public virtual CefBase {
public:
    virtual void Continue(bool success, const CefString& user_input) = 0;
};

// Called on the UI thread.
class CefJSDialogHandler : public virtual CefBase {
public:
    typedef cef_jsdialog_type_t JSDialogType;

    // Return true when the client handles the dialog and answers through |callback| (now or
    // later). Return false for the default: the dialog is dismissed, or suppressed without an
    // answer when |suppress_message| is set to true.
    virtual bool OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString& origin_url, const CefString& accept_lang,
                            JSDialogType dialog_type, const CefString& message_text,
                            const CefString& default_prompt_text, CefRefPtr<CefJSDialogCallback> callback,
                            bool& suppress_message)
    {
        return false;
    }

    // Return true when the client asks whether the page may be left (|is_reload|: by a reload)
    // and answers through |callback|: success leaves the page. Return false for the default:
    // the page is left.
    virtual bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser, const CefString& message_text, bool is_reload,
                                      CefRefPtr<CefJSDialogCallback> callback)
    {
        return false;
    }
};
