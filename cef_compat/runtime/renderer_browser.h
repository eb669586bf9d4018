// A browser and its frames as the render process sees them: their identity, addresses and
// script contexts, and a way to message the browser process. Navigation asked for here is
// carried out by the browser process.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "include/cef_browser.h"
#include "include/cef_render_process_handler.h"
#include "runtime/ipc_messages.h"
#include "runtime/renderer_link.h"
#include "runtime/v8_impl.h"

namespace cefcompat {

class CRendererBrowser;

class CRendererFrame : public CefFrame {
public:
    CRendererFrame(CRendererBrowser* browser, int64_t id, bool isMain, const std::wstring& name);

    // Render thread: a new document with its own context; returns the previous context.
    CefRefPtr<CV8ContextImpl> NewDocument(const std::wstring& url);
    // Render thread: the frame is gone; returns its last context.
    CefRefPtr<CV8ContextImpl> Detach();
    CefRefPtr<CV8ContextImpl> Context() const;

    bool IsValid() OVERRIDE;
    void LoadURL(const CefString& url) OVERRIDE;
    void LoadRequest(CefRefPtr<CefRequest> request) OVERRIDE;
    void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) OVERRIDE;
    bool IsMain() OVERRIDE { return m_isMain; }
    bool IsFocused() OVERRIDE { return m_isMain; }
    CefString GetName() OVERRIDE { return m_name; }
    int64 GetIdentifier() OVERRIDE { return m_id; }
    CefRefPtr<CefFrame> GetParent() OVERRIDE;
    CefString GetURL() OVERRIDE;
    CefRefPtr<CefBrowser> GetBrowser() OVERRIDE;
    CefRefPtr<CefV8Context> GetV8Context() OVERRIDE { return Context().get(); }

private:
    CefRefPtr<CRendererBrowser> Browser() const;

    const int64_t m_id;
    const bool m_isMain;
    const std::wstring m_name;
    mutable std::mutex m_mutex;
    std::wstring m_url;
    CefRefPtr<CRendererBrowser> m_browser; // null once detached
    CefRefPtr<CV8ContextImpl> m_context;
    IMPLEMENT_REFCOUNTING(CRendererFrame)
};

class CRendererBrowser : public CefBrowser {
public:
    CRendererBrowser(std::shared_ptr<CRendererLink> link, int id, bool isPopup);

    // Render thread. The frame with |frameId| now shows |url|; a new main document ends the
    // sub-frames. Calls the render process handler's context hooks.
    void FrameLoaded(CefRefPtr<CefRenderProcessHandler> handler, int64_t frameId, bool isMain, const std::wstring& name,
                     const std::wstring& url, bool canGoBack, bool canGoForward);
    // Render thread: every frame and context is gone.
    void Destroy(CefRefPtr<CefRenderProcessHandler> handler);
    CefRefPtr<CRendererFrame> FindFrame(int64_t id) const;
    void Ask(CBrowserCallVerb verb, int64_t frameId, const std::wstring& text, int line);

    CefRefPtr<CefBrowserHost> GetHost() OVERRIDE { return nullptr; }
    bool CanGoBack() OVERRIDE { return m_canGoBack; }
    void GoBack() OVERRIDE { Ask(CBrowserCallVerb::kGoBack, 0, std::wstring(), 0); }
    bool CanGoForward() OVERRIDE { return m_canGoForward; }
    void GoForward() OVERRIDE { Ask(CBrowserCallVerb::kGoForward, 0, std::wstring(), 0); }
    bool IsLoading() OVERRIDE { return false; }
    void Reload() OVERRIDE { Ask(CBrowserCallVerb::kReload, 0, std::wstring(), 0); }
    void ReloadIgnoreCache() OVERRIDE { Ask(CBrowserCallVerb::kReloadIgnoreCache, 0, std::wstring(), 0); }
    void StopLoad() OVERRIDE { Ask(CBrowserCallVerb::kStopLoad, 0, std::wstring(), 0); }
    int GetIdentifier() OVERRIDE { return m_id; }
    bool IsSame(CefRefPtr<CefBrowser> that) OVERRIDE { return that.get() == static_cast<CefBrowser*>(this); }
    bool IsPopup() OVERRIDE { return m_isPopup; }
    bool HasDocument() OVERRIDE;
    CefRefPtr<CefFrame> GetMainFrame() OVERRIDE;
    CefRefPtr<CefFrame> GetFocusedFrame() OVERRIDE { return GetMainFrame(); }
    CefRefPtr<CefFrame> GetFrame(int64 identifier) OVERRIDE { return FindFrame(identifier).get(); }
    CefRefPtr<CefFrame> GetFrame(const CefString& name) OVERRIDE;
    size_t GetFrameCount() OVERRIDE;
    void GetFrameIdentifiers(std::vector<int64>& identifiers) OVERRIDE;
    void GetFrameNames(std::vector<CefString>& names) OVERRIDE;
    bool SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message) OVERRIDE;

private:
    void ReleaseContext(CefRefPtr<CefRenderProcessHandler> handler, CefRefPtr<CRendererFrame> frame,
                        CefRefPtr<CV8ContextImpl> context);

    const std::shared_ptr<CRendererLink> m_link;
    const int m_id;
    const bool m_isPopup;
    std::atomic<bool> m_canGoBack{false};
    std::atomic<bool> m_canGoForward{false};
    mutable std::mutex m_mutex;
    std::map<int64_t, CefRefPtr<CRendererFrame>> m_frames;
    int64_t m_mainFrameId = 0;
    IMPLEMENT_REFCOUNTING(CRendererBrowser)
};

} // namespace cefcompat
