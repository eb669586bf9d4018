#include "runtime/frame_impl.h"

#include "include/cef_v8.h"
#include "runtime/browser_impl.h"
#include "runtime/simple_objects.h"

namespace cefcompat {

CFrameImpl::CFrameImpl(CBrowserImpl* browser, int64_t id, int64_t parentId, const std::wstring& name)
    : m_id(id),
      m_parentId(parentId),
      m_name(name),
      m_browser(browser)
{
}

CFrameImpl::~CFrameImpl() = default;

void CFrameImpl::SetUrl(const std::wstring& url)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_url = url;
}

std::wstring CFrameImpl::Url() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_url;
}

void CFrameImpl::Detach()
{
    CefRefPtr<CBrowserImpl> browser;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        browser.swap(m_browser);
    }
}

CefRefPtr<CBrowserImpl> CFrameImpl::Browser() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_browser;
}

bool CFrameImpl::IsValid()
{
    return Browser() != nullptr;
}

void CFrameImpl::LoadURL(const CefString& url)
{
    if (CefRefPtr<CBrowserImpl> browser = Browser())
        browser->FrameLoadURL(this, url.ToWString());
}

void CFrameImpl::LoadRequest(CefRefPtr<CefRequest> request)
{
    if (request)
        LoadURL(request->GetURL());
}

void CFrameImpl::ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line)
{
    if (CefRefPtr<CBrowserImpl> browser = Browser()) {
        browser->FrameExecuteJavaScript(this, code.ToWString(), script_url.ToWString(), start_line);
    }
}

CefRefPtr<CefFrame> CFrameImpl::GetParent()
{
    CefRefPtr<CBrowserImpl> browser = Browser();
    if (!browser || m_parentId == 0)
        return nullptr;
    return browser->FindFrame(m_parentId).get();
}

CefRefPtr<CefBrowser> CFrameImpl::GetBrowser()
{
    return Browser().get();
}

CefRefPtr<CefV8Context> CFrameImpl::GetV8Context()
{
    return nullptr;
}

} // namespace cefcompat
