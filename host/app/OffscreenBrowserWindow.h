#pragma once

// The one object that owns the hosted page: the CEF client of the windowless browser, the
// target of the add-in's commands, the owner of the native window (hidden while the add-in
// drives us) and the watch on the add-in's process.

#include "Win32Owners.h"

#include "BrowserControlee.h"
#include "FrameComposer.h"
#include "IBrowserControleeConsumer.h"
#include "Win32Handles.h"

#include "include/cef_client.h"
#include "include/wrapper/cef_helpers.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class COffscreenBrowserWindow :
    public CefClient,
    public CefDisplayHandler,
    public CefLifeSpanHandler,
    public CefRenderHandler,
    public CefJSDialogHandler,
    public CefDialogHandler,
    public CefDownloadHandler,
    public CefLoadHandler,
    public CefRequestHandler,
    public IBrowserControleeConsumer {
public:
    COffscreenBrowserWindow(int parentPid, int instanceIndex, CefString startUrl, HINSTANCE hInstance);
    ~COffscreenBrowserWindow() override;

    // Start-up, on the UI thread: native window, browser, channel and watch on the add-in.
    void CreateHostWindow();
    void StartBrowser();

    // Size of the off-screen view that CEF is told about. UI thread.
    void SetViewSize(int width, int height);

    // A 32-bit value under HKEY_CURRENT_USER, or defaultValue when it cannot be read as one.
    static DWORD ReadRegistryDword(const wchar_t* subKey, const wchar_t* valueName, DWORD defaultValue);

    // Id of the show/hide hot key, as WM_HOTKEY reports it.
    static constexpr int kVisibilityHotKeyId = 1;

    // Called by the window procedure.
    void OnWindowCreated(HWND hwnd);
    void RegisterVisibilityHotKey();
    void ToggleVisibility();

    // After m_title or m_address changed. UI thread.
    void UpdateWindowTitle();

    // Closes the browser, or ends the message loop when there is none yet. Any thread: the
    // work is handed to the UI thread, which owns the browser and the loop.
    void CloseHost();

    static DWORD WINAPI ParentWatchThread(void* window);

    // Opens CEF's developer tools for the page in a window of their own. UI thread.
    void ShowDevTools();

    // CefClient
    CefRefPtr<CefDialogHandler> GetDialogHandler() override { return this; }
    CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
    CefRefPtr<CefDownloadHandler> GetDownloadHandler() override { return this; }
    CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
    CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
    CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
    CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
    CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
    bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId sourceProcess,
                                  CefRefPtr<CefProcessMessage> message) override;

    // CefDisplayHandler
    void OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& url) override;
    void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) override;
    bool OnConsoleMessage(CefRefPtr<CefBrowser> browser, const CefString& message, const CefString& source,
                          int line) override;

    // CefLifeSpanHandler
    bool OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& targetUrl,
                       const CefString& targetFrameName, const CefPopupFeatures& popupFeatures,
                       CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client, CefBrowserSettings& settings,
                       bool* noJavascriptAccess) override;
    void OnAfterCreated(CefRefPtr<CefBrowser> browser) override;
    void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;

    // CefRenderHandler
    bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override;
    void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) override;
    void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) override;
    void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirtyRects, const void* buffer,
                 int width, int height) override;
    void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, CursorType type,
                        const CefCursorInfo& customCursorInfo) override;

    // The composed picture to the add-in, and the same picture into the native window's DC.
    // UI thread.
    void PublishFrame();
    void PaintWindow(HDC dc) const;

    // Input of the visible native window, from its procedure; (x, y) in client coordinates.
    // UI thread.
    void OnNativeMouseMove(int x, int y);
    void OnNativeMouseLeave();
    void OnNativeButton(int x, int y, bool leftButton, bool buttonDown);
    void OnNativeWheel(POINT screenPoint, int delta);
    void OnNativeKey(UINT message, WPARAM wParam, LPARAM lParam);
    void OnNativeFocus(bool focused);
    // False until CEF has reported a cursor: the window class's own cursor applies until then.
    bool ApplyCursor() const;

    // CefJSDialogHandler
    bool OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString& originUrl, const CefString& acceptLanguage,
                    JSDialogType dialogType, const CefString& messageText, const CefString& defaultPromptText,
                    CefRefPtr<CefJSDialogCallback> callback, bool& suppressMessage) override;

    // CefDialogHandler
    bool OnFileDialog(CefRefPtr<CefBrowser> browser, FileDialogMode mode, const CefString& title,
                      const CefString& defaultFilePath, const std::vector<CefString>& acceptFilters,
                      int selectedAcceptFilter, CefRefPtr<CefFileDialogCallback> callback) override;

    // CefDownloadHandler
    void OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> downloadItem,
                          const CefString& suggestedName, CefRefPtr<CefBeforeDownloadCallback> callback) override;

    // CefLoadHandler
    void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) override;
    void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) override;
    void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, ErrorCode errorCode,
                     const CefString& errorText, const CefString& failedUrl) override;

    // CefRequestHandler
    bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                        bool isRedirect) override;
    void OnProtocolExecution(CefRefPtr<CefBrowser> browser, const CefString& url, bool& allowOsExecution) override;
    bool OnCertificateError(CefRefPtr<CefBrowser> browser, cef_errorcode_t certError, const CefString& requestUrl,
                            CefRefPtr<CefSSLInfo> sslInfo, CefRefPtr<CefRequestCallback> callback) override;

    // IBrowserControleeConsumer: the add-in's commands, on the channel's reader thread.
    void MouseMove(int x, int y, bool flag, int modifiers) override;
    void MouseClick(int x, int y, bool leftButton, bool buttonDown, int modifiers) override;
    void MouseWheel(int x, int y, int deltaX, int deltaY, int modifiers) override;
    void KeyEvent(int keyCode, bool keyDown, bool keyUp, bool systemKey, bool spare) override;
    void Focus(bool focused) override;
    void GoBack() override;
    bool CanGoBack() override;
    void GoForward() override;
    bool CanGoForward() override;
    void LoadUrl(std::wstring url) override;
    std::wstring GetUrl() override;
    void Resize(int width, int height) override;
    void ExecuteScript(std::wstring script) override;
    void JsDialogReply(bool success, std::wstring userInput) override;
    void FileDialogReply(bool accepted, std::vector<std::wstring> paths) override;
    void Close() override;

private:
    bool RegisterHostWindowClass() const;
    void ResizeHostWindow();
    // Without a bounds check: a release after a captured drag may lie outside the view.
    void SendMouseClick(int x, int y, bool leftButton, bool buttonDown, int modifiers);
    void SendEvent(const std::wstring& text);
    template <typename Callback>
    bool AskAddin(const std::wstring& question, CefRefPtr<Callback> callback, CefRefPtr<Callback>& parked,
                  const NsWin32::CKernelHandle& answered);
    // The browser as a counted reference, for threads other than the UI thread.
    CefRefPtr<CefBrowser> CurrentBrowser() const;
    void StartParentWatch();
    bool WaitForParentEnd(HANDLE parentProcess) const;
    void StopParentWatch();
    void StopCommands();
    void DestroyHostWindow();

    // UI thread only, unless noted.
    NsWin32::CWindow m_hwnd;
    HINSTANCE m_hInstance;
    int m_viewWidth = 0;
    int m_viewHeight = 0;
    CefWindowInfo m_windowInfo;
    CefBrowserSettings m_browserSettings;
    std::wstring m_title;
    CefString m_startUrl;
    // Only when started by the add-in; set by the constructor and kept for our whole life.
    // Its reader thread runs the IBrowserControleeConsumer operations.
    std::unique_ptr<CBrowserControlee> m_controlee;
    int m_parentPid;
    int m_instanceIndex;
    int m_hotKeyNumber = -1;
    bool m_closing = false;
    CFrameComposer m_frames;
    HCURSOR m_cursor = nullptr;
    // A leave notification has been requested for the pointer.
    bool m_trackingMouse = false;
    // An external protocol went to the operating system; the next navigation is dropped.
    bool m_externalProtocolPending = false;

    // Shared with the reader and watch threads under m_sharedLock. The browser and the address
    // are written only on the UI thread, which therefore reads them without the lock; the
    // dialog callbacks are parked on the UI thread and taken by the add-in's answer.
    mutable std::mutex m_sharedLock;
    CefRefPtr<CefBrowser> m_browser;
    std::wstring m_address;
    CefRefPtr<CefJSDialogCallback> m_jsDialogCallback;
    CefRefPtr<CefFileDialogCallback> m_fileDialogCallback;
    // Set by Close: no answer will come any more, so no dialog may wait for one.
    bool m_closeRequested = false;
    // The add-in's latest size, and whether a task to apply it is on its way to the UI thread.
    int m_requestedWidth = 0;
    int m_requestedHeight = 0;
    bool m_resizePosted = false;

    // Dialog hand-shake between the UI thread and the add-in's answers.
    NsWin32::CKernelHandle m_dialogMutex;
    NsWin32::CKernelHandle m_jsDialogEvent;
    NsWin32::CKernelHandle m_fileDialogEvent;

    // The watch on the add-in's process; the stop signal ends it without waiting for the
    // add-in.
    NsWin32::CKernelHandle m_watchStop;
    NsWin32::CThreadOwner m_watchThread;

    IMPLEMENT_REFCOUNTING(COffscreenBrowserWindow)
};
