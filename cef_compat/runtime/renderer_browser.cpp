#include "runtime/renderer_browser.h"

#include "include/cef_render_process_handler.h"
#include "runtime/renderer_host.h"
#include "runtime/values.h"

namespace cefcompat {

CRendererFrame::CRendererFrame(CRendererBrowser* browser, int64_t id, bool isMain, const std::wstring& name)
    : m_id(id),
      m_isMain(isMain),
      m_name(name),
      m_browser(browser)
{
}

CefRefPtr<CV8ContextImpl> CRendererFrame::NewDocument(const std::wstring& url)
{
    CefRefPtr<CRendererBrowser> browser = Browser();
    CefRefPtr<CV8ContextImpl> context = new CV8ContextImpl(browser.get(), this);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_url = url;
    std::swap(context, m_context);
    return context;
}

CefRefPtr<CV8ContextImpl> CRendererFrame::Detach()
{
    CefRefPtr<CRendererBrowser> browser;
    CefRefPtr<CV8ContextImpl> context;
    std::lock_guard<std::mutex> lock(m_mutex);
    browser.swap(m_browser);
    context.swap(m_context);
    return context;
}

CefRefPtr<CV8ContextImpl> CRendererFrame::Context() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_context;
}

CefRefPtr<CRendererBrowser> CRendererFrame::Browser() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_browser;
}

bool CRendererFrame::IsValid()
{
    return Browser() != nullptr;
}

void CRendererFrame::LoadURL(const CefString& url)
{
    if (CefRefPtr<CRendererBrowser> browser = Browser()) {
        browser->Ask(CBrowserCallVerb::kLoadURL, m_id, url.ToWString(), 0);
    }
}

void CRendererFrame::LoadRequest(CefRefPtr<CefRequest> request)
{
    if (request)
        LoadURL(request->GetURL());
}

void CRendererFrame::ExecuteJavaScript(const CefString& code, const CefString&, int start_line)
{
    if (CefRefPtr<CRendererBrowser> browser = Browser()) {
        browser->Ask(CBrowserCallVerb::kExecuteJavaScript, m_id, code.ToWString(), start_line);
    }
}

CefRefPtr<CefFrame> CRendererFrame::GetParent()
{
    CefRefPtr<CRendererBrowser> browser = Browser();
    return (browser && !m_isMain) ? browser->GetMainFrame() : nullptr;
}

CefString CRendererFrame::GetURL()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_url;
}

CefRefPtr<CefBrowser> CRendererFrame::GetBrowser()
{
    return Browser().get();
}

CRendererBrowser::CRendererBrowser(std::shared_ptr<CRendererLink> link, int id, bool isPopup)
    : m_link(std::move(link)),
      m_id(id),
      m_isPopup(isPopup)
{
}

void CRendererBrowser::FrameLoaded(CefRefPtr<CefRenderProcessHandler> handler, int64_t frameId, bool isMain,
                                   const std::wstring& name, const std::wstring& url, bool canGoBack, bool canGoForward)
{
    m_canGoBack = canGoBack;
    m_canGoForward = canGoForward;
    std::vector<CefRefPtr<CRendererFrame>> gone;
    CefRefPtr<CRendererFrame> frame;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (isMain) {
            // A new main document: the sub-frames of the old one are gone.
            for (auto it = m_frames.begin(); it != m_frames.end();) {
                if (it->first != frameId) {
                    gone.push_back(it->second);
                    it = m_frames.erase(it);
                } else {
                    ++it;
                }
            }
            m_mainFrameId = frameId;
        }
        auto it = m_frames.find(frameId);
        if (it == m_frames.end()) {
            it = m_frames.emplace(frameId, new CRendererFrame(this, frameId, isMain, name)).first;
        }
        frame = it->second;
    }
    for (auto& old : gone)
        ReleaseContext(handler, old, old->Detach());
    ReleaseContext(handler, frame, frame->NewDocument(url));
    CefRefPtr<CV8ContextImpl> context = frame->Context();
    m_link->Record(CLine("hook", "OnContextCreated")
                       .Add("process", "renderer")
                       .Add("browser", m_id)
                       .Add("frame", frameId)
                       .Add("url", url));
    if (handler)
        handler->OnContextCreated(this, frame.get(), context.get());
}

void CRendererBrowser::ReleaseContext(CefRefPtr<CefRenderProcessHandler> handler, CefRefPtr<CRendererFrame> frame,
                                      CefRefPtr<CV8ContextImpl> context)
{
    if (!context)
        return;
    m_link->Record(CLine("hook", "OnContextReleased")
                       .Add("process", "renderer")
                       .Add("browser", m_id)
                       .Add("frame", frame->GetIdentifier()));
    if (handler)
        handler->OnContextReleased(this, frame.get(), context.get());
    context->Invalidate();
}

void CRendererBrowser::Destroy(CefRefPtr<CefRenderProcessHandler> handler)
{
    std::map<int64_t, CefRefPtr<CRendererFrame>> frames;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        frames.swap(m_frames);
    }
    for (auto& frame : frames)
        ReleaseContext(handler, frame.second, frame.second->Detach());
}

CefRefPtr<CRendererFrame> CRendererBrowser::FindFrame(int64_t id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_frames.find(id);
    return it == m_frames.end() ? nullptr : it->second;
}

void CRendererBrowser::Ask(CBrowserCallVerb verb, int64_t frameId, const std::wstring& text, int line)
{
    CWireWriter message = IpcMessage(CIpcType::kBrowserCall);
    message.I32(m_id);
    message.I64(frameId);
    message.U32(static_cast<uint32_t>(verb));
    message.Text(text);
    message.I32(line);
    m_link->Send(message.Bytes());
}

bool CRendererBrowser::HasDocument()
{
    CefRefPtr<CefFrame> main = GetMainFrame();
    return main && !main->GetURL().empty();
}

CefRefPtr<CefFrame> CRendererBrowser::GetMainFrame()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_frames.find(m_mainFrameId);
    return it == m_frames.end() ? nullptr : it->second.get();
}

CefRefPtr<CefFrame> CRendererBrowser::GetFrame(const CefString& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& frame : m_frames) {
        if (frame.second->GetName() == name)
            return frame.second.get();
    }
    return nullptr;
}

size_t CRendererBrowser::GetFrameCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.size();
}

void CRendererBrowser::GetFrameIdentifiers(std::vector<int64>& identifiers)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    identifiers.clear();
    for (auto& frame : m_frames)
        identifiers.push_back(frame.first);
}

void CRendererBrowser::GetFrameNames(std::vector<CefString>& names)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    names.clear();
    for (auto& frame : m_frames)
        names.push_back(frame.second->GetName());
}

bool CRendererBrowser::SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message)
{
    CProcessMessageImpl* impl = AsProcessMessageImpl(message);
    CLine line("call", "SendProcessMessage");
    line.Add("process", "renderer")
        .Add("browser", m_id)
        .Add("target_process", target_process == PID_BROWSER ? "browser" : "renderer");
    if (target_process != PID_BROWSER || !impl) {
        m_link->Record(line.Add("value", false));
        return false;
    }
    line.Add("name", impl->Name()).AddRaw("args", impl->Arguments()->ToText());
    CWireWriter bytes = IpcMessage(CIpcType::kProcessMessage);
    bytes.I32(m_id);
    impl->Write(&bytes);
    impl->SetReadOnly();
    m_link->Record(line);
    return m_link->Send(bytes.Bytes());
}

} // namespace cefcompat
