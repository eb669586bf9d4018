// A frame of a browser in the browser process. Its URL and validity may be read from any
// thread; actions go through its browser, in call order.
#pragma once

#include <mutex>
#include <string>

#include "include/cef_frame.h"

namespace cefcompat {

class CBrowserImpl;

class CFrameImpl : public CefFrame {
public:
    CFrameImpl(CBrowserImpl* browser, int64_t id, int64_t parentId, const std::wstring& name);
    ~CFrameImpl() OVERRIDE;

    void SetUrl(const std::wstring& url);
    std::wstring Url() const;
    // The frame's document is gone: from now on it is invalid and acts on nothing.
    void Detach();
    int64_t Id() const { return m_id; }
    const std::wstring& Name() const { return m_name; }

    bool IsValid() OVERRIDE;
    void LoadURL(const CefString& url) OVERRIDE;
    void LoadRequest(CefRefPtr<CefRequest> request) OVERRIDE;
    void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) OVERRIDE;
    bool IsMain() OVERRIDE { return m_parentId == 0; }
    bool IsFocused() OVERRIDE { return IsMain(); }
    CefString GetName() OVERRIDE { return m_name; }
    int64 GetIdentifier() OVERRIDE { return m_id; }
    CefRefPtr<CefFrame> GetParent() OVERRIDE;
    CefString GetURL() OVERRIDE { return Url(); }
    CefRefPtr<CefBrowser> GetBrowser() OVERRIDE;
    // Browser process: frames have no script context here.
    CefRefPtr<CefV8Context> GetV8Context() OVERRIDE;

private:
    CefRefPtr<CBrowserImpl> Browser() const;

    const int64_t m_id;
    const int64_t m_parentId; // 0 for the main frame
    const std::wstring m_name;
    mutable std::mutex m_mutex;
    std::wstring m_url;
    CefRefPtr<CBrowserImpl> m_browser; // null once detached
    IMPLEMENT_REFCOUNTING(CFrameImpl)
};

} // namespace cefcompat
