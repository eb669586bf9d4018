// The browser, and its host object (browser-process side: creation, input, size, closing).
#pragma once

#include <vector>

#include "include/cef_base.h"
#include "include/cef_frame.h"
#include "include/cef_process_message.h"
#include "include/cef_request_context.h"

class CefBrowserHost;
class CefClient;

// Methods may be called from any thread. Navigation is carried out on the UI thread in the
// order called; CanGoBack, CanGoForward and the other queries answer at once.
class CefBrowser : public virtual CefBase {
public:
    // Browser process only.
    virtual CefRefPtr<CefBrowserHost> GetHost() = 0;
    virtual bool CanGoBack() = 0;
    virtual void GoBack() = 0;
    virtual bool CanGoForward() = 0;
    virtual void GoForward() = 0;
    virtual bool IsLoading() = 0;
    virtual void Reload() = 0;
    virtual void ReloadIgnoreCache() = 0;
    virtual void StopLoad() = 0;
    // Unique within the browser process, the same in the browser's render process.
    virtual int GetIdentifier() = 0;
    virtual bool IsSame(CefRefPtr<CefBrowser> that) = 0;
    virtual bool IsPopup() = 0;
    virtual bool HasDocument() = 0;
    virtual CefRefPtr<CefFrame> GetMainFrame() = 0;
    virtual CefRefPtr<CefFrame> GetFocusedFrame() = 0;
    virtual CefRefPtr<CefFrame> GetFrame(int64 identifier) = 0;
    virtual CefRefPtr<CefFrame> GetFrame(const CefString& name) = 0;
    virtual size_t GetFrameCount() = 0;
    virtual void GetFrameIdentifiers(std::vector<int64>& identifiers) = 0;
    virtual void GetFrameNames(std::vector<CefString>& names) = 0;
    // Delivered asynchronously to the client's (browser process) or the render process
    // handler's (render process) OnProcessMessageReceived on that process's main thread.
    virtual bool SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message) = 0;
};

class CefBrowserHost : public virtual CefBase {
public:
    typedef cef_file_dialog_mode_t FileDialogMode;
    typedef cef_mouse_button_type_t MouseButtonType;
    typedef cef_paint_element_type_t PaintElementType;

    // Asynchronous: the client's life-span handler receives OnAfterCreated on the UI thread.
    static bool CreateBrowser(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client, const CefString& url,
                              const CefBrowserSettings& settings, CefRefPtr<CefRequestContext> request_context);
    // UI thread only.
    static CefRefPtr<CefBrowser> CreateBrowserSync(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                                                   const CefString& url, const CefBrowserSettings& settings,
                                                   CefRefPtr<CefRequestContext> request_context);

    virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
    // Closes the browser; the life-span handler's OnBeforeClose follows on the UI thread.
    virtual void CloseBrowser(bool force_close) = 0;
    virtual void SetFocus(bool focus) = 0;
    // Null for a windowless browser.
    virtual cef_window_handle_t GetWindowHandle() = 0;
    virtual cef_window_handle_t GetOpenerWindowHandle() = 0;
    virtual CefRefPtr<CefClient> GetClient() = 0;
    virtual CefRefPtr<CefRequestContext> GetRequestContext() = 0;
    virtual double GetZoomLevel() = 0;
    virtual void SetZoomLevel(double zoomLevel) = 0;
    // Opens the developer tools in a window made from |windowInfo|; one window per browser.
    virtual void ShowDevTools(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                              const CefBrowserSettings& settings, const CefPoint& inspect_element_at) = 0;
    virtual void CloseDevTools() = 0;
    virtual void SetMouseCursorChangeDisabled(bool disabled) = 0;
    virtual bool IsMouseCursorChangeDisabled() = 0;
    virtual bool IsWindowRenderingDisabled() = 0;
    // Windowless: asks the render handler for the view rectangle again and repaints.
    virtual void WasResized() = 0;
    virtual void WasHidden(bool hidden) = 0;
    virtual void NotifyScreenInfoChanged() = 0;
    virtual void Invalidate(PaintElementType type) = 0;
    virtual void SendKeyEvent(const CefKeyEvent& event) = 0;
    virtual void SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type, bool mouseUp,
                                     int clickCount) = 0;
    virtual void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) = 0;
    virtual void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) = 0;
    virtual void SendFocusEvent(bool setFocus) = 0;
    virtual void SendCaptureLostEvent() = 0;
};
