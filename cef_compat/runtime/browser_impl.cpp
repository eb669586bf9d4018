#include "runtime/browser_impl.h"

#include <unordered_set>

#include "runtime/browser_runtime.h"
#include "runtime/gdi_canvas.h"
#include "runtime/journal_fields.h"
#include "runtime/log.h"
#include "runtime/simple_objects.h"

namespace cefcompat {
namespace {

// Views larger than this on either side are not painted (their buffer would not be sane).
constexpr int kMaxViewSide = 8192;

// The developer tools' pictures name their colours up to this many.
constexpr size_t kCountedColours = 64;

const char* kAcceptLanguage = "en-US";

// Colours in a BGRA picture, counted up to |limit|: a blank one has one.
int ColoursIn(const void* bgra, int width, int height, size_t limit)
{
    const auto* pixels = static_cast<const uint32_t*>(bgra);
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::unordered_set<uint32_t> colours;
    for (size_t i = 0; i < count && colours.size() < limit; ++i)
        colours.insert(pixels[i] & 0xFFFFFF);
    return static_cast<int>(colours.size());
}

LPCWSTR CursorResource(cef_cursor_type_t type)
{
    switch (type) {
    case CT_CROSS: return IDC_CROSS;
    case CT_HAND: return IDC_HAND;
    case CT_IBEAM: return IDC_IBEAM;
    case CT_WAIT: return IDC_WAIT;
    case CT_HELP: return IDC_HELP;
    case CT_EASTRESIZE:
    case CT_WESTRESIZE:
    case CT_EASTWESTRESIZE:
    case CT_COLUMNRESIZE: return IDC_SIZEWE;
    case CT_NORTHRESIZE:
    case CT_SOUTHRESIZE:
    case CT_NORTHSOUTHRESIZE:
    case CT_ROWRESIZE: return IDC_SIZENS;
    case CT_NORTHEASTRESIZE:
    case CT_SOUTHWESTRESIZE:
    case CT_NORTHEASTSOUTHWESTRESIZE: return IDC_SIZENESW;
    case CT_NORTHWESTRESIZE:
    case CT_SOUTHEASTRESIZE:
    case CT_NORTHWESTSOUTHEASTRESIZE: return IDC_SIZENWSE;
    case CT_MOVE: return IDC_SIZEALL;
    case CT_PROGRESS: return IDC_APPSTARTING;
    case CT_NODROP:
    case CT_NOTALLOWED: return IDC_NO;
    default: return IDC_ARROW;
    }
}

template <class Handler>
CefRefPtr<Handler> HandlerOf(CefRefPtr<CefClient> client, CefRefPtr<Handler> (CefClient::*getter)())
{
    return client ? (client.get()->*getter)() : nullptr;
}

// Journal lines from the render process are its own; they must still be one bounded line.
constexpr size_t kMaxRendererLine = 64 * 1024;

// Extensions one render process may report.
constexpr uint32_t kMaxExtensions = 64;

bool ReadExtensions(CWireReader* reader, std::vector<CExtensionSource>* extensions)
{
    uint32_t count = 0;
    if (!reader->U32(&count) || count > kMaxExtensions)
        return false;
    extensions->resize(count);
    for (CExtensionSource& extension : *extensions) {
        if (!reader->Text(&extension.name) || !reader->Text(&extension.code))
            return false;
    }
    return true;
}

std::string OneLine(std::string line)
{
    if (line.size() > kMaxRendererLine)
        line.resize(kMaxRendererLine);
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return line;
}

} // namespace

CBrowserImpl::CBrowserImpl(std::shared_ptr<CBrowserRuntime> runtime, const CefWindowInfo& windowInfo,
                           CefRefPtr<CefClient> client, const CefBrowserSettings& settings, bool isPopup)
    : m_runtime(std::move(runtime)),
      m_id(m_runtime->NextId()),
      m_isPopup(isPopup),
      m_windowless(windowInfo.windowless_rendering_enabled != 0),
      m_windowInfo(windowInfo),
      m_settings(settings),
      m_client(client)
{
    m_mainFrameId = m_runtime->NextId();
    m_frames[m_mainFrameId] = new CFrameImpl(this, m_mainFrameId, 0, std::wstring());
}

CBrowserImpl::~CBrowserImpl() = default;

CefRefPtr<CBrowserImpl> CBrowserImpl::Create(std::shared_ptr<CBrowserRuntime> runtime, const CefWindowInfo& windowInfo,
                                             CefRefPtr<CefClient> client, const std::wstring& url,
                                             const CefBrowserSettings& settings, bool isPopup)
{
    CefRefPtr<CBrowserImpl> browser = new CBrowserImpl(runtime, windowInfo, client, settings, isPopup);
    runtime->AddBrowser(browser);
    browser->Start(url);
    return browser;
}

CLine CBrowserImpl::Call(const char* method) const
{
    CLine line("call", method);
    line.Add("browser", m_id).Add("on_ui", m_runtime->OnUiThread());
    return line;
}

CLine CBrowserImpl::Hook(const char* method) const
{
    CLine line("hook", method);
    line.Add("browser", m_id);
    return line;
}

namespace {
CLine Return(const char* method, int browserId)
{
    CLine line("return", method);
    line.Add("browser", browserId);
    return line;
}
} // namespace

void CBrowserImpl::Enqueue(CLine line, std::function<void()> work)
{
    CefRefPtr<CBrowserImpl> self(this);
    std::lock_guard<std::mutex> lock(m_callMutex);
    const bool queued = m_runtime->PostUi([self, work]() {
        if (!self->m_closed)
            work();
    });
    if (!queued)
        line.Add("dropped", true);
    m_runtime->Record(line);
}

void CBrowserImpl::EnqueueEngine(CLine line, std::function<void(IPageEngine&)> work)
{
    Enqueue(std::move(line), [this, work]() {
        if (m_engine)
            work(*m_engine);
    });
}

void CBrowserImpl::Start(const std::wstring& url)
{
    // The first navigation waits for the render process's extensions, and starting a process
    // takes as long as starting the engine's browser, so the two start side by side; the render
    // process's reports reach this thread only after this call.
    EnsureRenderer();
    m_engine = LaunchPageEngine(*this, m_runtime->TakeEarlyBrowser());
    if (!m_windowless) {
        CefRefPtr<CBrowserImpl> self(this);
        m_window = CPageWindow::Create(
            m_windowInfo, L"", [self]() { self->CloseBrowser(false); },
            [self]() {
                if (self->m_engine)
                    self->m_engine->Resized();
            });
        m_windowHandle = m_window ? m_window->Handle() : nullptr;
    }
    // Without a render process no extension will ever be reported.
    if (!m_renderer)
        m_engine->ExtensionsReady({});
    CefRefPtr<CefLifeSpanHandler> lifeSpan = HandlerOf(GetClient(), &CefClient::GetLifeSpanHandler);
    m_runtime->Record(Hook("OnAfterCreated").Add("is_popup", m_isPopup).Add("windowless", m_windowless));
    if (lifeSpan)
        lifeSpan->OnAfterCreated(this);
    if (m_closed)
        return;
    m_engine->Start(url);
}

void CBrowserImpl::CloseNow()
{
    Close("shutdown");
}

void CBrowserImpl::Close(const char* reason)
{
    if (m_closed)
        return;
    m_runtime->Record(CLine("event", "BrowserClosing").Add("browser", m_id).Add("reason", reason));
    CefRefPtr<CefLifeSpanHandler> lifeSpan = HandlerOf(GetClient(), &CefClient::GetLifeSpanHandler);
    if (lifeSpan) {
        m_runtime->Record(Hook("DoClose"));
        const bool handled = lifeSpan->DoClose(this);
        m_runtime->Record(Return("DoClose", m_id).Add("value", handled));
    }
    CloseDevToolsWindow("browser-closed");
    m_engine.reset();
    auto calls = std::move(m_nativeCalls);
    m_nativeCalls.clear();
    for (auto& call : calls)
        call.second(CNativeCallResult());
    if (m_renderer) {
        CWireWriter destroyed = IpcMessage(CIpcType::kBrowserDestroyed);
        destroyed.I32(m_id);
        m_renderer->Send(destroyed.Bytes());
        m_renderer->Stop();
        m_renderer.reset();
    }
    m_closed = true;
    m_isLoading = false;
    m_runtime->Record(Hook("OnBeforeClose"));
    if (lifeSpan)
        lifeSpan->OnBeforeClose(this);

    std::map<int64_t, CefRefPtr<CFrameImpl>> frames;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        frames.swap(m_frames);
    }
    for (auto& frame : frames)
        frame.second->Detach();
    m_window.reset();
    m_windowHandle = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_clientMutex);
        m_client = nullptr;
    }
    m_runtime->RemoveBrowser(m_id);
}

// --- Render process -------------------------------------------------------------------------

void CBrowserImpl::EnsureRenderer()
{
    if (m_closed || (m_renderer && m_renderer->IsRunning()))
        return;
    m_renderer.reset();
    CefRefPtr<CBrowserImpl> self(this);
    const uint32_t generation = ++m_rendererGeneration;
    auto renderer = std::make_unique<CRendererHost>(
        [self, generation](CIpcType type, const std::string& payload) {
            self->m_runtime->PostUi(
                [self, generation, type, payload]() { self->OnRendererMessage(generation, type, payload); });
        },
        [self, generation](cef_termination_status_t status) {
            self->m_runtime->PostUi([self, generation, status]() { self->OnRendererGone(generation, status); });
        });
    if (!renderer->Launch(*m_runtime, m_id))
        return;
    CWireWriter created = IpcMessage(CIpcType::kBrowserCreated);
    created.I32(m_id);
    created.Bool(m_isPopup);
    renderer->Send(created.Bytes());
    m_renderer = std::move(renderer);
}

void CBrowserImpl::SendToRenderer(const CWireWriter& message)
{
    if (m_renderer)
        m_renderer->Send(message.Bytes());
}

void CBrowserImpl::OnRendererMessage(uint32_t generation, CIpcType type, const std::string& payload)
{
    if (m_closed || generation != m_rendererGeneration)
        return;
    CWireReader reader(payload);
    switch (type) {
    case CIpcType::kJournal: {
        std::wstring line;
        if (reader.Text(&line))
            m_runtime->Record(CLine("renderer", OneLine(ToUtf8(line)).c_str()));
        return;
    }
    case CIpcType::kProcessMessage: OnRendererProcessMessage(&reader); return;
    case CIpcType::kNativeResult: OnRendererNativeResult(&reader); return;
    case CIpcType::kBrowserCall: OnRendererBrowserCall(&reader); return;
    case CIpcType::kExtensions: {
        std::vector<CExtensionSource> extensions;
        if (ReadExtensions(&reader, &extensions) && m_engine)
            m_engine->ExtensionsReady(extensions);
        return;
    }
    default:
        m_runtime->Record(
            CLine("event", "RendererProtocolError").Add("browser", m_id).Add("type", static_cast<int64_t>(type)));
        return;
    }
}

void CBrowserImpl::OnRendererProcessMessage(CWireReader* reader)
{
    int32_t browserId = 0;
    if (!reader->I32(&browserId) || browserId != m_id)
        return;
    CefRefPtr<CProcessMessageImpl> message = CProcessMessageImpl::Read(reader);
    if (!message)
        return;
    message->SetReadOnly();
    CefRefPtr<CefClient> client = GetClient();
    m_runtime->Record(Hook("OnProcessMessageReceived")
                          .Add("source_process", "renderer")
                          .Add("name", message->Name())
                          .AddRaw("args", message->Arguments()->ToText()));
    const bool handled = client && client->OnProcessMessageReceived(this, PID_RENDERER, message.get());
    m_runtime->Record(Return("OnProcessMessageReceived", m_id).Add("value", handled));
}

void CBrowserImpl::OnRendererNativeResult(CWireReader* reader)
{
    uint32_t callId = 0;
    CNativeCallResult result;
    result.delivered = true;
    if (!reader->U32(&callId) || !reader->U8(&result.outcome) || !reader->Text(&result.exception) ||
        !CScriptValue::Read(reader, 0, &result.retval)) {
        return;
    }
    auto it = m_nativeCalls.find(callId);
    if (it == m_nativeCalls.end())
        return;
    auto onResult = std::move(it->second);
    m_nativeCalls.erase(it);
    onResult(result);
}

void CBrowserImpl::OnRendererBrowserCall(CWireReader* reader)
{
    int32_t browserId = 0;
    int64_t frameId = 0;
    uint32_t verb = 0;
    std::wstring text;
    int32_t line = 0;
    if (!reader->I32(&browserId) || browserId != m_id || !reader->I64(&frameId) || !reader->U32(&verb) ||
        !reader->Text(&text) || !reader->I32(&line)) {
        return;
    }
    switch (static_cast<CBrowserCallVerb>(verb)) {
    case CBrowserCallVerb::kGoBack: GoBack(); break;
    case CBrowserCallVerb::kGoForward: GoForward(); break;
    case CBrowserCallVerb::kReload: Reload(); break;
    case CBrowserCallVerb::kReloadIgnoreCache: ReloadIgnoreCache(); break;
    case CBrowserCallVerb::kStopLoad: StopLoad(); break;
    case CBrowserCallVerb::kLoadURL:
        if (CefRefPtr<CFrameImpl> frame = FindFrame(frameId))
            FrameLoadURL(frame.get(), text);
        break;
    case CBrowserCallVerb::kExecuteJavaScript:
        if (CefRefPtr<CFrameImpl> frame = FindFrame(frameId)) {
            FrameExecuteJavaScript(frame.get(), text, frame->Url(), line);
        }
        break;
    default: break;
    }
}

void CBrowserImpl::OnRendererGone(uint32_t generation, cef_termination_status_t status)
{
    if (m_closed || generation != m_rendererGeneration)
        return;
    m_runtime->Record(CLine("event", "RendererTerminated")
                          .Add("browser", m_id)
                          .Add("pid", static_cast<int64_t>(m_renderer ? m_renderer->ProcessId() : 0))
                          .Add("status", static_cast<int>(status)));
    auto calls = std::move(m_nativeCalls);
    m_nativeCalls.clear();
    for (auto& call : calls)
        call.second(CNativeCallResult());
    RenderProcessTerminated(status);
    if (m_engine)
        m_engine->RendererGone();
}

void CBrowserImpl::RenderProcessTerminated(cef_termination_status_t status)
{
    CefRefPtr<CefRequestHandler> handler = HandlerOf(GetClient(), &CefClient::GetRequestHandler);
    m_runtime->Record(Hook("OnRenderProcessTerminated").Add("status", static_cast<int>(status)));
    if (handler)
        handler->OnRenderProcessTerminated(this, status);
}

// --- Control requests -----------------------------------------------------------------------

void CBrowserImpl::HandleControl(const std::vector<std::string>& tokens, IPageEngine::Reply reply)
{
    if (tokens.size() == 2 && tokens[0] == "crash" && tokens[1] == "renderer") {
        if (!m_renderer || !m_renderer->IsRunning()) {
            reply("error no-renderer");
            return;
        }
        const DWORD pid = m_renderer->ProcessId();
        SendToRenderer(IpcMessage(CIpcType::kCrash));
        reply("ok pid=" + std::to_string(pid));
        return;
    }
    if (tokens.size() == 1 && tokens[0] == "renderer") {
        const bool running = m_renderer && m_renderer->IsRunning();
        reply("ok running=" + std::string(running ? "1" : "0") +
              " pid=" + std::to_string(running ? m_renderer->ProcessId() : 0));
        return;
    }
    if (!m_engine || !m_engine->HandleControl(tokens, reply))
        reply("error unknown-request");
}

// --- Host calls -----------------------------------------------------------------------------

void CBrowserImpl::GoBack()
{
    EnqueueEngine(Call("GoBack"), [](IPageEngine& engine) { engine.GoBack(); });
}

void CBrowserImpl::GoForward()
{
    EnqueueEngine(Call("GoForward"), [](IPageEngine& engine) { engine.GoForward(); });
}

void CBrowserImpl::Reload()
{
    EnqueueEngine(Call("Reload"), [](IPageEngine& engine) { engine.Reload(); });
}

void CBrowserImpl::ReloadIgnoreCache()
{
    EnqueueEngine(Call("ReloadIgnoreCache"), [](IPageEngine& engine) { engine.Reload(); });
}

void CBrowserImpl::StopLoad()
{
    EnqueueEngine(Call("StopLoad"), [](IPageEngine& engine) { engine.StopLoad(); });
}

bool CBrowserImpl::IsSame(CefRefPtr<CefBrowser> that)
{
    return that.get() == static_cast<CefBrowser*>(this);
}

CefRefPtr<CFrameImpl> CBrowserImpl::FindFrame(int64_t id)
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    auto it = m_frames.find(id);
    return it == m_frames.end() ? nullptr : it->second;
}

CefRefPtr<CefFrame> CBrowserImpl::GetMainFrame()
{
    return FindFrame(m_mainFrameId).get();
}

CefRefPtr<CefFrame> CBrowserImpl::GetFrame(int64 identifier)
{
    return FindFrame(identifier).get();
}

CefRefPtr<CefFrame> CBrowserImpl::GetFrame(const CefString& name)
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    for (auto& frame : m_frames) {
        if (frame.second->Name() == name.ToWString())
            return frame.second.get();
    }
    return nullptr;
}

size_t CBrowserImpl::GetFrameCount()
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    return m_frames.size();
}

void CBrowserImpl::GetFrameIdentifiers(std::vector<int64>& identifiers)
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    identifiers.clear();
    for (auto& frame : m_frames)
        identifiers.push_back(frame.first);
}

void CBrowserImpl::GetFrameNames(std::vector<CefString>& names)
{
    std::lock_guard<std::mutex> lock(m_frameMutex);
    names.clear();
    for (auto& frame : m_frames)
        names.emplace_back(frame.second->Name());
}

bool CBrowserImpl::SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message)
{
    CProcessMessageImpl* impl = AsProcessMessageImpl(message);
    CLine line = Call("SendProcessMessage");
    line.Add("target_process", target_process == PID_RENDERER ? "renderer" : "browser");
    if (target_process != PID_RENDERER || !impl) {
        m_runtime->Record(line.Add("value", false));
        return false;
    }
    line.Add("name", impl->Name()).AddRaw("args", impl->Arguments()->ToText());
    CWireWriter bytes = IpcMessage(CIpcType::kProcessMessage);
    bytes.I32(m_id);
    impl->Write(&bytes);
    impl->SetReadOnly();
    Enqueue(line, [this, bytes]() {
        if (!m_renderer || !m_renderer->Send(bytes.Bytes())) {
            m_runtime->Record(CLine("event", "ProcessMessageDropped").Add("browser", m_id));
        }
    });
    return true;
}

void CBrowserImpl::CloseBrowser(bool force_close)
{
    Enqueue(Call("CloseBrowser").Add("force_close", force_close), [this]() { Close("CloseBrowser"); });
}

void CBrowserImpl::SetFocus(bool focus)
{
    EnqueueEngine(Call("SetFocus").Add("focus", focus), [focus](IPageEngine& engine) { engine.Focus(focus); });
}

CefRefPtr<CefClient> CBrowserImpl::GetClient()
{
    std::lock_guard<std::mutex> lock(m_clientMutex);
    return m_client;
}

CefRefPtr<CefRequestContext> CBrowserImpl::GetRequestContext()
{
    return CefRequestContext::GetGlobalContext();
}

void CBrowserImpl::SetZoomLevel(double zoomLevel)
{
    Enqueue(Call("SetZoomLevel").Add("zoom_level", zoomLevel), [this, zoomLevel]() { m_zoomLevel = zoomLevel; });
}

void CBrowserImpl::ShowDevTools(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                                const CefBrowserSettings& settings, const CefPoint& inspect_element_at)
{
    CLine line = Call("ShowDevTools");
    AddFields(line, windowInfo);
    line.AddRaw("client", HandleText(client.get()));
    AddFields(line, settings);
    line.Add("inspect_x", inspect_element_at.x).Add("inspect_y", inspect_element_at.y);
    const CefWindowInfo info(windowInfo);
    Enqueue(line, [this, info, client, inspect_element_at]() { OpenDevTools(info, client, inspect_element_at); });
}

void CBrowserImpl::CloseDevTools()
{
    Enqueue(Call("CloseDevTools"), [this]() { CloseDevToolsWindow("CloseDevTools"); });
}

void CBrowserImpl::SetMouseCursorChangeDisabled(bool disabled)
{
    Enqueue(Call("SetMouseCursorChangeDisabled").Add("disabled", disabled),
            [this, disabled]() { m_cursorChangeDisabled = disabled; });
}

void CBrowserImpl::WasResized()
{
    EnqueueEngine(Call("WasResized"), [](IPageEngine& engine) { engine.Resized(); });
}

void CBrowserImpl::WasHidden(bool hidden)
{
    EnqueueEngine(Call("WasHidden").Add("hidden", hidden), [hidden](IPageEngine& engine) { engine.Hidden(hidden); });
}

void CBrowserImpl::NotifyScreenInfoChanged()
{
    EnqueueEngine(Call("NotifyScreenInfoChanged"), [](IPageEngine& engine) { engine.Resized(); });
}

void CBrowserImpl::Invalidate(PaintElementType type)
{
    EnqueueEngine(Call("Invalidate").Add("type", static_cast<int>(type)),
                  [type](IPageEngine& engine) { engine.Invalidate(type); });
}

void CBrowserImpl::SendKeyEvent(const CefKeyEvent& event)
{
    CLine line = Call("SendKeyEvent");
    EnqueueEngine(AddFields(line, event), [event](IPageEngine& engine) { engine.Key(event); });
}

void CBrowserImpl::SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type, bool mouseUp, int clickCount)
{
    CLine line = Call("SendMouseClickEvent");
    AddFields(line, event)
        .Add("button", static_cast<int>(type))
        .Add("mouse_up", mouseUp)
        .Add("click_count", clickCount);
    EnqueueEngine(line, [event, type, mouseUp, clickCount](IPageEngine& engine) {
        engine.MouseClick(event, type, mouseUp, clickCount);
    });
}

void CBrowserImpl::SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave)
{
    CLine line = Call("SendMouseMoveEvent");
    AddFields(line, event).Add("mouse_leave", mouseLeave);
    EnqueueEngine(line, [event, mouseLeave](IPageEngine& engine) { engine.MouseMove(event, mouseLeave); });
}

void CBrowserImpl::SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY)
{
    CLine line = Call("SendMouseWheelEvent");
    AddFields(line, event).Add("delta_x", deltaX).Add("delta_y", deltaY);
    EnqueueEngine(line, [event, deltaX, deltaY](IPageEngine& engine) { engine.MouseWheel(event, deltaX, deltaY); });
}

void CBrowserImpl::SendFocusEvent(bool setFocus)
{
    EnqueueEngine(Call("SendFocusEvent").Add("set_focus", setFocus),
                  [setFocus](IPageEngine& engine) { engine.Focus(setFocus); });
}

void CBrowserImpl::SendCaptureLostEvent()
{
    EnqueueEngine(Call("SendCaptureLostEvent"), [](IPageEngine& engine) { engine.CaptureLost(); });
}

void CBrowserImpl::FrameLoadURL(CFrameImpl* frame, const std::wstring& url)
{
    const int64_t id = frame->Id();
    EnqueueEngine(Call("LoadURL").Add("frame", id).Add("url", url),
                  [id, url](IPageEngine& engine) { engine.LoadURL(id, url); });
}

void CBrowserImpl::FrameExecuteJavaScript(CFrameImpl* frame, const std::wstring& code, const std::wstring& scriptUrl,
                                          int startLine)
{
    const int64_t id = frame->Id();
    EnqueueEngine(Call("ExecuteJavaScript")
                      .Add("frame", id)
                      .Add("code", code)
                      .Add("script_url", scriptUrl)
                      .Add("start_line", startLine),
                  [id, code, scriptUrl, startLine](IPageEngine& engine) {
                      engine.ExecuteJavaScript(id, code, scriptUrl, startLine);
                  });
}

// --- Developer tools ------------------------------------------------------------------------

void CBrowserImpl::OpenDevTools(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                                const CefPoint& inspectPoint)
{
    if (m_devTools && m_devTools->Handle()) {
        m_devTools->BringToFront();
        m_runtime->Record(CLine("event", "DevToolsFocused").Add("browser", m_id));
        return;
    }
    CefRefPtr<CBrowserImpl> self(this);
    m_devTools = CPageWindow::Create(
        windowInfo, L"Developer Tools",
        [self]() { self->m_runtime->PostUi([self]() { self->CloseDevToolsWindow("user"); }); },
        [self]() { self->m_runtime->PostUi([self]() { self->DevToolsResized(); }); });
    if (!m_devTools) {
        m_runtime->Record(CLine("event", "DevToolsFailed").Add("browser", m_id));
        return;
    }
    m_devToolsClient = client;
    m_inspectPoint = inspectPoint;
    m_devToolsPage = m_engine ? m_engine->OpenTools(*this) : nullptr;
    wchar_t title[256] = {};
    GetWindowTextW(m_devTools->Handle(), title, 256);
    m_runtime->Record(CLine("event", "DevToolsOpened")
                          .Add("browser", m_id)
                          .AddRaw("hwnd", HandleText(m_devTools->Handle()))
                          .AddRaw("owner", HandleText(GetWindow(m_devTools->Handle(), GW_OWNER)))
                          .Add("title", std::wstring(title))
                          .Add("visible", IsWindowVisible(m_devTools->Handle()) != FALSE)
                          .Add("engine_tools", m_devToolsPage != nullptr));
    if (m_devToolsPage)
        m_devTools->SetInput(m_devToolsPage.get());
    else
        PaintDevTools();
}

void CBrowserImpl::DevToolsResized()
{
    if (m_devToolsPage)
        m_devToolsPage->Resized();
    else
        PaintDevTools();
}

bool CBrowserImpl::ToolsViewSize(int* width, int* height)
{
    return m_devTools && m_devTools->ClientSize(width, height) && *width <= kMaxViewSide && *height <= kMaxViewSide;
}

void CBrowserImpl::ShowTools(const void* bgra, int width, int height)
{
    if (!m_devTools)
        return;
    m_devTools->Show(bgra, width, height);
    m_runtime->Record(CLine("event", "DevToolsPainted")
                          .Add("browser", m_id)
                          .Add("width", width)
                          .Add("height", height)
                          .Add("colours", ColoursIn(bgra, width, height, kCountedColours)));
}

void CBrowserImpl::ToolsEnded()
{
    CefRefPtr<CBrowserImpl> self(this);
    m_runtime->PostUi([self]() { self->CloseDevToolsWindow("tools-ended"); });
}

void CBrowserImpl::PaintDevTools()
{
    int width = 0;
    int height = 0;
    if (!m_devTools || !m_devTools->ClientSize(&width, &height))
        return;
    CGdiCanvas canvas(std::min(width, kMaxViewSide), std::min(height, kMaxViewSide));
    if (!canvas.IsValid())
        return;
    canvas.Fill(RECT{0, 0, canvas.Width(), canvas.Height()}, RGB(36, 36, 40));
    CefRefPtr<CFrameImpl> main = FindFrame(m_mainFrameId);
    int y = canvas.Text(8, 8, L"Developer tools", RGB(255, 255, 255));
    y = canvas.Text(8, y, L"Inspecting: " + (main ? main->Url() : std::wstring()), RGB(200, 200, 200));
    canvas.Text(8, y,
                L"Inspect point: " + std::to_wstring(m_inspectPoint.x) + L", " + std::to_wstring(m_inspectPoint.y),
                RGB(200, 200, 200));
    canvas.MakeOpaque();
    m_devTools->Show(canvas.Bits(), canvas.Width(), canvas.Height());
}

void CBrowserImpl::CloseDevToolsWindow(const char* reason)
{
    if (!m_devTools)
        return;
    const bool wasOpen = m_devTools->Handle() != nullptr;
    m_devTools->SetInput(nullptr);
    m_devToolsPage.reset();
    m_devTools.reset();
    m_devToolsClient = nullptr;
    m_runtime->Record(
        CLine("event", "DevToolsClosed").Add("browser", m_id).Add("reason", reason).Add("was_open", wasOpen));
}

// --- IPageSite ------------------------------------------------------------------------------

CefRefPtr<CefFrame> CBrowserImpl::FrameOrMain(int64_t id)
{
    CefRefPtr<CFrameImpl> frame = FindFrame(id);
    return frame ? frame : FindFrame(m_mainFrameId);
}

CefRefPtr<CefRenderHandler> CBrowserImpl::RenderHandler()
{
    return HandlerOf(GetClient(), &CefClient::GetRenderHandler);
}

int64_t CBrowserImpl::CreateSubFrame(const std::wstring& name)
{
    const int64_t id = m_runtime->NextId();
    std::lock_guard<std::mutex> lock(m_frameMutex);
    m_frames[id] = new CFrameImpl(this, id, m_mainFrameId, name);
    return id;
}

void CBrowserImpl::DetachSubFrames(int64_t frameId)
{
    std::vector<CefRefPtr<CFrameImpl>> gone;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        for (auto it = m_frames.begin(); it != m_frames.end();) {
            if (it->first == m_mainFrameId || (frameId != 0 && it->first != frameId)) {
                ++it;
                continue;
            }
            gone.push_back(it->second);
            it = m_frames.erase(it);
        }
    }
    for (auto& frame : gone)
        frame->Detach();
}

bool CBrowserImpl::BeforeBrowse(int64_t frameId, const std::wstring& url, cef_transition_type_t transition)
{
    if (frameId == m_mainFrameId)
        EnsureRenderer();
    CefRefPtr<CefFrame> frame = FindFrame(frameId).get();
    CefRefPtr<CefRequestHandler> handler = HandlerOf(GetClient(), &CefClient::GetRequestHandler);
    if (!frame || !handler)
        return false;
    CefRefPtr<CRequestImpl> request =
        new CRequestImpl(url, frameId == m_mainFrameId ? RT_MAIN_FRAME : RT_SUB_FRAME, transition);
    request->SetReadOnly();
    m_runtime->Record(Hook("OnBeforeBrowse")
                          .Add("frame", frameId)
                          .Add("url", url)
                          .Add("transition", static_cast<int64_t>(static_cast<uint32_t>(transition)))
                          .Add("is_redirect", false));
    const bool cancel = handler->OnBeforeBrowse(this, frame, request.get(), false);
    m_runtime->Record(Return("OnBeforeBrowse", m_id).Add("value", cancel));
    return cancel;
}

void CBrowserImpl::HistoryChanged(bool canGoBack, bool canGoForward)
{
    m_canGoBack = canGoBack;
    m_canGoForward = canGoForward;
}

void CBrowserImpl::LoadingStateChange(bool isLoading, bool canGoBack, bool canGoForward)
{
    m_isLoading = isLoading;
    CefRefPtr<CefLoadHandler> handler = HandlerOf(GetClient(), &CefClient::GetLoadHandler);
    m_runtime->Record(Hook("OnLoadingStateChange")
                          .Add("is_loading", isLoading)
                          .Add("can_go_back", canGoBack)
                          .Add("can_go_forward", canGoForward));
    if (handler)
        handler->OnLoadingStateChange(this, isLoading, canGoBack, canGoForward);
}

void CBrowserImpl::AddressChange(int64_t frameId, const std::wstring& url)
{
    CefRefPtr<CFrameImpl> frame = FindFrame(frameId);
    if (!frame)
        return;
    frame->SetUrl(url);
    if (frameId == m_mainFrameId)
        m_hasDocument = true;
    CefRefPtr<CefDisplayHandler> handler = HandlerOf(GetClient(), &CefClient::GetDisplayHandler);
    m_runtime->Record(Hook("OnAddressChange").Add("frame", frameId).Add("url", url));
    if (handler)
        handler->OnAddressChange(this, frame.get(), url);
}

void CBrowserImpl::LoadStart(int64_t frameId)
{
    CefRefPtr<CFrameImpl> frame = FindFrame(frameId);
    if (!frame)
        return;
    // The new document's script context exists from here on.
    CWireWriter loaded = IpcMessage(CIpcType::kFrameLoaded);
    loaded.I32(m_id);
    loaded.I64(frameId);
    loaded.Bool(frameId == m_mainFrameId);
    loaded.Text(frame->Name());
    loaded.Text(frame->Url());
    loaded.Bool(m_canGoBack);
    loaded.Bool(m_canGoForward);
    SendToRenderer(loaded);
    CefRefPtr<CefLoadHandler> handler = HandlerOf(GetClient(), &CefClient::GetLoadHandler);
    m_runtime->Record(Hook("OnLoadStart").Add("frame", frameId));
    if (handler)
        handler->OnLoadStart(this, frame.get());
}

void CBrowserImpl::TitleChange(const std::wstring& title)
{
    CefRefPtr<CefDisplayHandler> handler = HandlerOf(GetClient(), &CefClient::GetDisplayHandler);
    m_runtime->Record(Hook("OnTitleChange").Add("title", title));
    if (handler)
        handler->OnTitleChange(this, title);
}

void CBrowserImpl::LoadEnd(int64_t frameId, int httpStatusCode)
{
    CefRefPtr<CFrameImpl> frame = FindFrame(frameId);
    if (!frame)
        return;
    CefRefPtr<CefLoadHandler> handler = HandlerOf(GetClient(), &CefClient::GetLoadHandler);
    m_runtime->Record(Hook("OnLoadEnd").Add("frame", frameId).Add("http_status_code", httpStatusCode));
    if (handler)
        handler->OnLoadEnd(this, frame.get(), httpStatusCode);
}

void CBrowserImpl::LoadError(int64_t frameId, int errorCode, const std::wstring& errorText,
                             const std::wstring& failedUrl)
{
    CefRefPtr<CFrameImpl> frame = FindFrame(frameId);
    if (!frame)
        return;
    CefRefPtr<CefLoadHandler> handler = HandlerOf(GetClient(), &CefClient::GetLoadHandler);
    m_runtime->Record(Hook("OnLoadError")
                          .Add("frame", frameId)
                          .Add("error_code", errorCode)
                          .Add("error_text", errorText)
                          .Add("failed_url", failedUrl));
    if (handler) {
        handler->OnLoadError(this, frame.get(), static_cast<cef_errorcode_t>(errorCode), errorText, failedUrl);
    }
}

void CBrowserImpl::ProtocolExecution(const std::wstring& url)
{
    CefRefPtr<CefRequestHandler> handler = HandlerOf(GetClient(), &CefClient::GetRequestHandler);
    bool allow = false;
    m_runtime->Record(Hook("OnProtocolExecution").Add("url", url));
    if (handler)
        handler->OnProtocolExecution(this, url, allow);
    // Nothing is ever started from here: handing a URL to the system is recorded only.
    m_runtime->Record(Return("OnProtocolExecution", m_id).Add("allow_os_execution", allow));
}

void CBrowserImpl::ConsoleMessage(const std::wstring& message, const std::wstring& source, int line)
{
    CefRefPtr<CefDisplayHandler> handler = HandlerOf(GetClient(), &CefClient::GetDisplayHandler);
    m_runtime->Record(Hook("OnConsoleMessage").Add("message", message).Add("source", source).Add("line", line));
    const bool handled = handler && handler->OnConsoleMessage(this, message, source, line);
    m_runtime->Record(Return("OnConsoleMessage", m_id).Add("value", handled));
    if (!handled) {
        LogMessage(LOGSEVERITY_INFO,
                   "CONSOLE(" + std::to_string(line) + ") \"" + ToUtf8(message) + "\", source: " + ToUtf8(source));
    }
}

bool CBrowserImpl::ViewSize(int* width, int* height)
{
    if (!m_windowless)
        return m_window && m_window->ClientSize(width, height);
    CefRefPtr<CefRenderHandler> handler = RenderHandler();
    if (!handler)
        return false;
    CefRect rect;
    const bool ok = handler->GetViewRect(this, rect);
    m_runtime->Record(Return("GetViewRect", m_id)
                          .Add("value", ok)
                          .Add("x", rect.x)
                          .Add("y", rect.y)
                          .Add("width", rect.width)
                          .Add("height", rect.height));
    if (!ok || rect.width <= 0 || rect.height <= 0 || rect.width > kMaxViewSide || rect.height > kMaxViewSide) {
        return false;
    }
    *width = rect.width;
    *height = rect.height;
    return true;
}

void CBrowserImpl::Paint(cef_paint_element_type_t type, const std::vector<CefRect>& dirty, const void* bgra, int width,
                         int height)
{
    if (!m_windowless) {
        if (type == PET_VIEW && m_window)
            m_window->Show(bgra, width, height);
        return;
    }
    CefRefPtr<CefRenderHandler> handler = RenderHandler();
    m_runtime->Record(Hook("OnPaint")
                          .Add("type", static_cast<int>(type))
                          .Add("width", width)
                          .Add("height", height)
                          .AddRaw("dirty", RectsText(dirty)));
    if (handler)
        handler->OnPaint(this, type, dirty, bgra, width, height);
}

void CBrowserImpl::PopupShow(bool show)
{
    CefRefPtr<CefRenderHandler> handler = RenderHandler();
    m_runtime->Record(Hook("OnPopupShow").Add("show", show));
    if (handler)
        handler->OnPopupShow(this, show);
}

void CBrowserImpl::PopupSize(const CefRect& rect)
{
    CefRefPtr<CefRenderHandler> handler = RenderHandler();
    m_runtime->Record(
        Hook("OnPopupSize").Add("x", rect.x).Add("y", rect.y).Add("width", rect.width).Add("height", rect.height));
    if (handler)
        handler->OnPopupSize(this, rect);
}

void CBrowserImpl::CursorChange(cef_cursor_type_t type)
{
    if (m_cursorChangeDisabled) {
        m_runtime->Record(
            CLine("event", "CursorChangeSuppressed").Add("browser", m_id).Add("type", static_cast<int>(type)));
        return;
    }
    HCURSOR cursor = LoadCursorW(nullptr, CursorResource(type));
    CefRefPtr<CefRenderHandler> handler = RenderHandler();
    m_runtime->Record(Hook("OnCursorChange").Add("type", static_cast<int>(type)).AddRaw("cursor", HandleText(cursor)));
    if (handler)
        handler->OnCursorChange(this, cursor, type, CefCursorInfo());
    if (!m_windowless && m_window)
        SetCursor(cursor);
}

CAnswerFn CBrowserImpl::WhileOpen(CAnswerFn onAnswer)
{
    CefRefPtr<CBrowserImpl> self(this);
    return [self, onAnswer](const CPageAnswer& answer) {
        if (!self->m_closed)
            onAnswer(answer);
    };
}

void CBrowserImpl::RunJSDialog(cef_jsdialog_type_t type, const std::wstring& message, const std::wstring& defaultPrompt,
                               CAnswerFn onAnswer)
{
    const int id = m_runtime->NextId();
    CefRefPtr<CJSDialogCallbackImpl> callback =
        new CJSDialogCallbackImpl(m_runtime, id, WhileOpen(std::move(onAnswer)));
    CefRefPtr<CefJSDialogHandler> handler = HandlerOf(GetClient(), &CefClient::GetJSDialogHandler);
    CefRefPtr<CFrameImpl> main = FindFrame(m_mainFrameId);
    const std::wstring origin = main ? main->Url() : std::wstring();
    bool suppress = false;
    m_runtime->Record(Hook("OnJSDialog")
                          .Add("id", id)
                          .Add("origin_url", origin)
                          .Add("accept_lang", kAcceptLanguage)
                          .Add("dialog_type", static_cast<int>(type))
                          .Add("message_text", message)
                          .Add("default_prompt_text", defaultPrompt));
    const bool handled = handler && handler->OnJSDialog(this, origin, kAcceptLanguage, type, message, defaultPrompt,
                                                        callback.get(), suppress);
    m_runtime->Record(Return("OnJSDialog", m_id).Add("id", id).Add("value", handled).Add("suppress_message", suppress));
    if (!handled)
        callback->Settle(suppress ? "Suppressed" : "Default");
}

void CBrowserImpl::RunBeforeUnloadDialog(const std::wstring& message, bool isReload, CAnswerFn onAnswer)
{
    const int id = m_runtime->NextId();
    CefRefPtr<CJSDialogCallbackImpl> callback =
        new CJSDialogCallbackImpl(m_runtime, id, WhileOpen(std::move(onAnswer)));
    CefRefPtr<CefJSDialogHandler> handler = HandlerOf(GetClient(), &CefClient::GetJSDialogHandler);
    m_runtime->Record(
        Hook("OnBeforeUnloadDialog").Add("id", id).Add("message_text", message).Add("is_reload", isReload));
    const bool handled = handler && handler->OnBeforeUnloadDialog(this, message, isReload, callback.get());
    m_runtime->Record(Return("OnBeforeUnloadDialog", m_id).Add("id", id).Add("value", handled));
    if (!handled)
        callback->Settle("Default", true);
}

void CBrowserImpl::RunFileDialog(int mode, const std::wstring& title, const std::wstring& defaultPath,
                                 const std::vector<std::wstring>& filters, CAnswerFn onAnswer)
{
    const int id = m_runtime->NextId();
    CefRefPtr<CFileDialogCallbackImpl> callback =
        new CFileDialogCallbackImpl(m_runtime, id, WhileOpen(std::move(onAnswer)));
    CefRefPtr<CefDialogHandler> handler = HandlerOf(GetClient(), &CefClient::GetDialogHandler);
    std::vector<CefString> acceptFilters;
    std::vector<std::string> items;
    for (const std::wstring& filter : filters) {
        acceptFilters.emplace_back(filter);
        items.push_back(EncodeText(filter));
    }
    m_runtime->Record(Hook("OnFileDialog")
                          .Add("id", id)
                          .Add("mode", mode)
                          .Add("title", title)
                          .Add("default_file_path", defaultPath)
                          .AddRaw("accept_filters", JoinList(items))
                          .Add("selected_accept_filter", 0));
    const bool handled = handler && handler->OnFileDialog(this, static_cast<CefDialogHandler::FileDialogMode>(mode),
                                                          title, defaultPath, acceptFilters, 0, callback.get());
    m_runtime->Record(Return("OnFileDialog", m_id).Add("id", id).Add("value", handled));
    if (!handled)
        callback->Settle("Default");
}

void CBrowserImpl::BeforeDownload(const std::wstring& url, const std::wstring& suggestedName,
                                  const std::wstring& mimeType, CAnswerFn onAnswer)
{
    const int id = m_runtime->NextId();
    CefRefPtr<CBeforeDownloadCallbackImpl> callback =
        new CBeforeDownloadCallbackImpl(m_runtime, id, WhileOpen(std::move(onAnswer)));
    CefRefPtr<CefDownloadHandler> handler = HandlerOf(GetClient(), &CefClient::GetDownloadHandler);
    if (!handler) {
        callback->Settle("Default");
        return;
    }
    CefRefPtr<CDownloadItemImpl> item = new CDownloadItemImpl(static_cast<uint32>(id), url, suggestedName, mimeType);
    m_runtime->Record(Hook("OnBeforeDownload")
                          .Add("id", id)
                          .Add("url", url)
                          .Add("suggested_name", suggestedName)
                          .Add("mime_type", mimeType));
    handler->OnBeforeDownload(this, item.get(), suggestedName, callback.get());
}

void CBrowserImpl::CertificateError(int errorCode, const std::wstring& url, CAnswerFn onAnswer)
{
    const int id = m_runtime->NextId();
    CefRefPtr<CRequestCallbackImpl> callback = new CRequestCallbackImpl(m_runtime, id, WhileOpen(std::move(onAnswer)));
    CefRefPtr<CefRequestHandler> handler = HandlerOf(GetClient(), &CefClient::GetRequestHandler);
    CefRefPtr<CSSLInfoImpl> info = new CSSLInfoImpl(HostOfUrl(url), L"CefCompat Test Authority");
    m_runtime->Record(Hook("OnCertificateError").Add("id", id).Add("cert_error", errorCode).Add("request_url", url));
    const bool handled = handler && handler->OnCertificateError(this, static_cast<cef_errorcode_t>(errorCode), url,
                                                                info.get(), callback.get());
    m_runtime->Record(Return("OnCertificateError", m_id).Add("id", id).Add("value", handled));
    if (!handled)
        callback->Settle("Default");
}

bool CBrowserImpl::BeforePopup(int64_t frameId, const std::wstring& url, const std::wstring& frameName)
{
    CefRefPtr<CefLifeSpanHandler> handler = HandlerOf(GetClient(), &CefClient::GetLifeSpanHandler);
    CefWindowInfo windowInfo;
    CefRefPtr<CefClient> client = GetClient();
    CefBrowserSettings settings(m_settings);
    bool noJavascriptAccess = false;
    m_runtime->Record(
        Hook("OnBeforePopup").Add("frame", frameId).Add("target_url", url).Add("target_frame_name", frameName));
    const bool refused =
        handler && handler->OnBeforePopup(this, FrameOrMain(frameId), url, frameName, CefPopupFeatures(), windowInfo,
                                          client, settings, &noJavascriptAccess);
    m_runtime->Record(
        Return("OnBeforePopup", m_id).Add("value", refused).Add("no_javascript_access", noJavascriptAccess));
    if (refused)
        return true;
    m_runtime->CreateBrowserAsync({windowInfo, client, url, settings, true});
    return false;
}

CLine CBrowserImpl::EventLine(const char* name)
{
    CLine line("event", name);
    line.Add("browser", m_id);
    return line;
}

void CBrowserImpl::Record(const CLine& line)
{
    m_runtime->Record(line);
}

void CBrowserImpl::PostTask(std::function<void()> task)
{
    CefRefPtr<CBrowserImpl> self(this);
    m_runtime->PostUi([self, task]() {
        if (!self->m_closed)
            task();
    });
}

void CBrowserImpl::CallNative(int64_t frameId, const std::wstring& name, const std::vector<CScriptValue>& arguments,
                              std::function<void(const CNativeCallResult&)> onResult)
{
    if (!m_renderer || !m_renderer->IsRunning()) {
        onResult(CNativeCallResult());
        return;
    }
    const uint32_t callId = ++m_lastCallId;
    CWireWriter invoke = IpcMessage(CIpcType::kInvokeNative);
    invoke.U32(callId);
    invoke.I32(m_id);
    invoke.I64(frameId);
    invoke.Text(name);
    invoke.U32(static_cast<uint32_t>(arguments.size()));
    for (const CScriptValue& argument : arguments)
        argument.Write(&invoke);
    if (!m_renderer->Send(invoke.Bytes())) {
        onResult(CNativeCallResult());
        return;
    }
    m_nativeCalls[callId] = std::move(onResult);
}

} // namespace cefcompat
