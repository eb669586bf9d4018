// File dialogs.
#pragma once

#include <vector>

#include "include/cef_base.h"
#include "include/cef_browser.h"

// May be used from any thread, once. A callback dropped without an answer counts as
// cancelled.
class CefFileDialogCallback : public virtual CefBase {
public:
    virtual void Continue(int selected_accept_filter, const std::vector<CefString>& file_paths) = 0;
    virtual void Cancel() = 0;
};

// Called on the UI thread.
class CefDialogHandler : public virtual CefBase {
public:
    typedef cef_file_dialog_mode_t FileDialogMode;

    // Return true when the client answers through |callback| (now or later); false for the
    // default, which here cancels the dialog (no dialog of the runtime's own is shown).
    virtual bool OnFileDialog(CefRefPtr<CefBrowser> browser, FileDialogMode mode, const CefString& title,
                              const CefString& default_file_path, const std::vector<CefString>& accept_filters,
                              int selected_accept_filter, CefRefPtr<CefFileDialogCallback> callback)
    {
        return false;
    }
};
