// The test client's browser client: reports what the runtime tells it as lines to the test,
// and carries out the test's commands on the thread that reads them (not the UI thread).
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_client.h"

class CClientHandler :
    public CefClient,
    public CefLifeSpanHandler,
    public CefRenderHandler,
    public CefLoadHandler,
    public CefDisplayHandler,
    public CefJSDialogHandler,
    public CefDialogHandler,
    public CefDownloadHandler,
    public CefRequestHandler {
public:
    using Notify = std::function<void(const std::string&)>;
    CClientHandler(Notify notify, int viewWidth, int viewHeight, bool allowPopups)
        : m_notify(std::move(notify)),
          m_allowPopups(allowPopups),
          m_viewWidth(viewWidth),
          m_viewHeight(viewHeight)
    {
    }

    // A command of the test, on the test pipe's thread.
    void Execute(const std::string& command);

    CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
    CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
    CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
    CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
    CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
    CefRefPtr<CefDialogHandler> GetDialogHandler() override { return this; }
    CefRefPtr<CefDownloadHandler> GetDownloadHandler() override { return this; }
    CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
    bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                  CefRefPtr<CefProcessMessage> message) override;

    bool OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                       const CefString& target_frame_name, const CefPopupFeatures& popupFeatures,
                       CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client, CefBrowserSettings& settings,
                       bool* no_javascript_access) override;
    void OnAfterCreated(CefRefPtr<CefBrowser> browser) override;
    void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;

    bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override;
    void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirtyRects, const void* buffer,
                 int width, int height) override;
    void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) override;
    void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, CursorType type,
                        const CefCursorInfo& custom_cursor_info) override;

    void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) override;
    void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) override;
    void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, ErrorCode errorCode,
                     const CefString& errorText, const CefString& failedUrl) override;
    void OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& url) override;
    void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) override;

    bool OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString& origin_url, const CefString& accept_lang,
                    JSDialogType dialog_type, const CefString& message_text, const CefString& default_prompt_text,
                    CefRefPtr<CefJSDialogCallback> callback, bool& suppress_message) override;
    bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser, const CefString& message_text, bool is_reload,
                              CefRefPtr<CefJSDialogCallback> callback) override;
    bool OnFileDialog(CefRefPtr<CefBrowser> browser, FileDialogMode mode, const CefString& title,
                      const CefString& default_file_path, const std::vector<CefString>& accept_filters,
                      int selected_accept_filter, CefRefPtr<CefFileDialogCallback> callback) override;
    void OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                          const CefString& suggested_name, CefRefPtr<CefBeforeDownloadCallback> callback) override;
    bool OnCertificateError(CefRefPtr<CefBrowser> browser, cef_errorcode_t cert_error, const CefString& request_url,
                            CefRefPtr<CefSSLInfo> ssl_info, CefRefPtr<CefRequestCallback> callback) override;
    void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) override;

private:
    CefRefPtr<CefBrowser> Browser();
    void ExecuteOnBrowser(const std::string& command, const std::vector<std::string>& args);

    Notify m_notify;
    const bool m_allowPopups;
    std::mutex m_mutex; // everything below: the UI thread and the test pipe's thread
    int m_viewWidth;
    int m_viewHeight;
    CefRefPtr<CefBrowser> m_browser;
    CefRefPtr<CefJSDialogCallback> m_jsDialog;
    CefRefPtr<CefFileDialogCallback> m_fileDialog;
    // How downloads are answered: no path and the save dialog (empty), a path, or "decline".
    std::string m_downloadAnswer;
    std::vector<unsigned char> m_frame;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    IMPLEMENT_REFCOUNTING(CClientHandler)
};
