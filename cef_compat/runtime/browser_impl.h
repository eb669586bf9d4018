// A browser in the browser process: CefBrowser and CefBrowserHost for the host, IPageSite for
// its engine. Methods called by the host are recorded in the journal at once and carried out
// on the UI thread in call order; the queries answer at once from any thread. The client's
// hooks are called on the UI thread.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engines/page_engine.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "runtime/frame_impl.h"
#include "runtime/page_window.h"
#include "runtime/renderer_host.h"

namespace cefcompat {

class CBrowserRuntime;

class CBrowserImpl : public CefBrowser, public CefBrowserHost, private IPageSite, private IToolsWindow {
public:
    // UI thread: creates the browser, starts its render process, reports it created and loads
    // |url|.
    static CefRefPtr<CBrowserImpl> Create(std::shared_ptr<CBrowserRuntime> runtime, const CefWindowInfo& windowInfo,
                                          CefRefPtr<CefClient> client, const std::wstring& url,
                                          const CefBrowserSettings& settings, bool isPopup);
    ~CBrowserImpl() OVERRIDE;

    int Id() const { return m_id; }
    // UI thread: a control request addressed to this browser (runtime or engine verbs).
    void HandleControl(const std::vector<std::string>& tokens, IPageEngine::Reply reply);
    // UI thread, at shutdown: closes the browser as CloseBrowser(true) would.
    void CloseNow();

    // Frame actions, recorded and queued like the browser's own.
    void FrameLoadURL(CFrameImpl* frame, const std::wstring& url);
    void FrameExecuteJavaScript(CFrameImpl* frame, const std::wstring& code, const std::wstring& scriptUrl,
                                int startLine);
    CefRefPtr<CFrameImpl> FindFrame(int64_t id);

    // CefBrowser
    CefRefPtr<CefBrowserHost> GetHost() OVERRIDE { return this; }
    bool CanGoBack() OVERRIDE { return m_canGoBack; }
    void GoBack() OVERRIDE;
    bool CanGoForward() OVERRIDE { return m_canGoForward; }
    void GoForward() OVERRIDE;
    bool IsLoading() OVERRIDE { return m_isLoading; }
    void Reload() OVERRIDE;
    void ReloadIgnoreCache() OVERRIDE;
    void StopLoad() OVERRIDE;
    int GetIdentifier() OVERRIDE { return m_id; }
    bool IsSame(CefRefPtr<CefBrowser> that) OVERRIDE;
    bool IsPopup() OVERRIDE { return m_isPopup; }
    bool HasDocument() OVERRIDE { return m_hasDocument; }
    CefRefPtr<CefFrame> GetMainFrame() OVERRIDE;
    CefRefPtr<CefFrame> GetFocusedFrame() OVERRIDE { return GetMainFrame(); }
    CefRefPtr<CefFrame> GetFrame(int64 identifier) OVERRIDE;
    CefRefPtr<CefFrame> GetFrame(const CefString& name) OVERRIDE;
    size_t GetFrameCount() OVERRIDE;
    void GetFrameIdentifiers(std::vector<int64>& identifiers) OVERRIDE;
    void GetFrameNames(std::vector<CefString>& names) OVERRIDE;
    bool SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message) OVERRIDE;

    // CefBrowserHost
    CefRefPtr<CefBrowser> GetBrowser() OVERRIDE { return this; }
    void CloseBrowser(bool force_close) OVERRIDE;
    void SetFocus(bool focus) OVERRIDE;
    cef_window_handle_t GetWindowHandle() OVERRIDE { return m_windowHandle; }
    cef_window_handle_t GetOpenerWindowHandle() OVERRIDE { return nullptr; }
    CefRefPtr<CefClient> GetClient() OVERRIDE;
    CefRefPtr<CefRequestContext> GetRequestContext() OVERRIDE;
    double GetZoomLevel() OVERRIDE { return m_zoomLevel; }
    void SetZoomLevel(double zoomLevel) OVERRIDE;
    void ShowDevTools(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client, const CefBrowserSettings& settings,
                      const CefPoint& inspect_element_at) OVERRIDE;
    void CloseDevTools() OVERRIDE;
    void SetMouseCursorChangeDisabled(bool disabled) OVERRIDE;
    bool IsMouseCursorChangeDisabled() OVERRIDE { return m_cursorChangeDisabled; }
    bool IsWindowRenderingDisabled() OVERRIDE { return m_windowless; }
    void WasResized() OVERRIDE;
    void WasHidden(bool hidden) OVERRIDE;
    void NotifyScreenInfoChanged() OVERRIDE;
    void Invalidate(PaintElementType type) OVERRIDE;
    void SendKeyEvent(const CefKeyEvent& event) OVERRIDE;
    void SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type, bool mouseUp, int clickCount) OVERRIDE;
    void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) OVERRIDE;
    void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) OVERRIDE;
    void SendFocusEvent(bool setFocus) OVERRIDE;
    void SendCaptureLostEvent() OVERRIDE;

private:
    CBrowserImpl(std::shared_ptr<CBrowserRuntime> runtime, const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                 const CefBrowserSettings& settings, bool isPopup);

    // Records |line| and queues |work| for the UI thread, both under one lock, so that the
    // journal's order is the order of execution. |work| does not run after the browser closed.
    void Enqueue(CLine line, std::function<void()> work);
    void EnqueueEngine(CLine line, std::function<void(IPageEngine&)> work);
    CLine Call(const char* method) const;
    CLine Hook(const char* method) const;
    void Start(const std::wstring& url);
    void Close(const char* reason);
    void EnsureRenderer();
    void SendToRenderer(const CWireWriter& message);
    void OnRendererMessage(uint32_t generation, CIpcType type, const std::string& payload);
    void OnRendererGone(uint32_t generation, cef_termination_status_t status);
    void OnRendererProcessMessage(CWireReader* reader);
    void OnRendererNativeResult(CWireReader* reader);
    void OnRendererBrowserCall(CWireReader* reader);
    void OpenDevTools(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client, const CefPoint& inspectPoint);
    void CloseDevToolsWindow(const char* reason);
    void PaintDevTools();
    void DevToolsResized();
    CAnswerFn WhileOpen(CAnswerFn onAnswer);
    CefRefPtr<CefFrame> FrameOrMain(int64_t id);
    CefRefPtr<CefRenderHandler> RenderHandler();

    // IToolsWindow
    bool ToolsViewSize(int* width, int* height) OVERRIDE;
    void ShowTools(const void* bgra, int width, int height) OVERRIDE;
    void ToolsEnded() OVERRIDE;

    // IPageSite
    int64_t MainFrameId() OVERRIDE { return m_mainFrameId; }
    int64_t CreateSubFrame(const std::wstring& name) OVERRIDE;
    void DetachSubFrames(int64_t frameId) OVERRIDE;
    bool BeforeBrowse(int64_t frameId, const std::wstring& url, cef_transition_type_t transition) OVERRIDE;
    void HistoryChanged(bool canGoBack, bool canGoForward) OVERRIDE;
    void LoadingStateChange(bool isLoading, bool canGoBack, bool canGoForward) OVERRIDE;
    void AddressChange(int64_t frameId, const std::wstring& url) OVERRIDE;
    void LoadStart(int64_t frameId) OVERRIDE;
    void TitleChange(const std::wstring& title) OVERRIDE;
    void LoadEnd(int64_t frameId, int httpStatusCode) OVERRIDE;
    void LoadError(int64_t frameId, int errorCode, const std::wstring& errorText,
                   const std::wstring& failedUrl) OVERRIDE;
    void ProtocolExecution(const std::wstring& url) OVERRIDE;
    void ConsoleMessage(const std::wstring& message, const std::wstring& source, int line) OVERRIDE;
    bool ViewSize(int* width, int* height) OVERRIDE;
    void Paint(cef_paint_element_type_t type, const std::vector<CefRect>& dirty, const void* bgra, int width,
               int height) OVERRIDE;
    void PopupShow(bool show) OVERRIDE;
    void PopupSize(const CefRect& rect) OVERRIDE;
    void CursorChange(cef_cursor_type_t type) OVERRIDE;
    void RunJSDialog(cef_jsdialog_type_t type, const std::wstring& message, const std::wstring& defaultPrompt,
                     CAnswerFn onAnswer) OVERRIDE;
    void RunBeforeUnloadDialog(const std::wstring& message, bool isReload, CAnswerFn onAnswer) OVERRIDE;
    void RunFileDialog(int mode, const std::wstring& title, const std::wstring& defaultPath,
                       const std::vector<std::wstring>& filters, CAnswerFn onAnswer) OVERRIDE;
    void BeforeDownload(const std::wstring& url, const std::wstring& suggestedName, const std::wstring& mimeType,
                        CAnswerFn onAnswer) OVERRIDE;
    void CertificateError(int errorCode, const std::wstring& url, CAnswerFn onAnswer) OVERRIDE;
    bool BeforePopup(int64_t frameId, const std::wstring& url, const std::wstring& frameName) OVERRIDE;
    CLine EventLine(const char* name) OVERRIDE;
    void Record(const CLine& line) OVERRIDE;
    void PostTask(std::function<void()> task) OVERRIDE;
    void RenderProcessTerminated(cef_termination_status_t status) OVERRIDE;
    void CallNative(int64_t frameId, const std::wstring& name, const std::vector<CScriptValue>& arguments,
                    std::function<void(const CNativeCallResult&)> onResult) OVERRIDE;

    const std::shared_ptr<CBrowserRuntime> m_runtime;
    const int m_id;
    const bool m_isPopup;
    const bool m_windowless;
    const CefWindowInfo m_windowInfo;
    const CefBrowserSettings m_settings;

    // Any thread.
    std::mutex m_callMutex; // orders journal lines and queued work
    mutable std::mutex m_clientMutex;
    CefRefPtr<CefClient> m_client; // dropped when the browser closes
    mutable std::mutex m_frameMutex;
    std::map<int64_t, CefRefPtr<CFrameImpl>> m_frames;
    int64_t m_mainFrameId = 0;
    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_canGoBack{false};
    std::atomic<bool> m_canGoForward{false};
    std::atomic<bool> m_isLoading{false};
    std::atomic<bool> m_hasDocument{false};
    std::atomic<bool> m_cursorChangeDisabled{false};
    std::atomic<double> m_zoomLevel{0.0};
    std::atomic<HWND> m_windowHandle{nullptr};

    // UI thread.
    std::unique_ptr<IPageEngine> m_engine;
    std::unique_ptr<CRendererHost> m_renderer;
    uint32_t m_rendererGeneration = 0; // tells a relaunched render process's news from its predecessor's
    std::unique_ptr<CPageWindow> m_window; // browsers that are not windowless
    // The engine's own tools shown in m_devTools, if it has them; the window, which passes them
    // its input, goes first.
    std::unique_ptr<IPageTools> m_devToolsPage;
    std::unique_ptr<CPageWindow> m_devTools;
    CefRefPtr<CefClient> m_devToolsClient;
    CefPoint m_inspectPoint;
    uint32_t m_lastCallId = 0;
    std::map<uint32_t, std::function<void(const CNativeCallResult&)>> m_nativeCalls;

    IMPLEMENT_REFCOUNTING(CBrowserImpl)
};

} // namespace cefcompat
