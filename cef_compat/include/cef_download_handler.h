// Downloads.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_download_item.h"

// May be used from any thread, once. A callback dropped without an answer cancels the
// download.
class CefBeforeDownloadCallback : public virtual CefBase {
public:
    // An empty path with |show_dialog| lets the user choose the place under the suggested name.
    virtual void Continue(const CefString& download_path, bool show_dialog) = 0;
};

class CefDownloadItemCallback : public virtual CefBase {
public:
    virtual void Cancel() = 0;
};

// Called on the UI thread.
class CefDownloadHandler : public virtual CefBase {
public:
    virtual void OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                                  const CefString& suggested_name, CefRefPtr<CefBeforeDownloadCallback> callback) = 0;
    virtual void OnDownloadUpdated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                                   CefRefPtr<CefDownloadItemCallback> callback)
    {
    }
};
