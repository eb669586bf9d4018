#include "runtime/renderer_process.h"

#include "runtime/ipc_messages.h"
#include "runtime/log.h"
#include "runtime/process_state.h"
#include "runtime/renderer_host.h"
#include "runtime/scheme_registrar.h"
#include "runtime/values.h"

namespace cefcompat {
namespace {

CRendererProcess* g_current = nullptr; // render thread only
constexpr uint32_t kMaxNativeArguments = 256;

} // namespace

CRendererProcess* CRendererProcess::Current()
{
    return g_current;
}

int CRendererProcess::Run(CefRefPtr<CefApp> app, CefRefPtr<CCommandLineImpl> commandLine)
{
    ConfigureLog(SeverityFromName(ToUtf8(commandLine->SwitchValue(L"log-severity"))),
                 commandLine->SwitchValue(L"log-file"));
    std::unique_ptr<CIpcChannel> channel = CIpcChannel::ConnectClient(commandLine->SwitchValue(L"cefcompat-ipc"));
    if (!channel) {
        LogMessage(LOGSEVERITY_ERROR, "render process: no browser process to connect to");
        return 1;
    }
    CRendererProcess process(app, std::move(channel));
    process.m_link->Record(CLine("event", "RendererStarted")
                               .Add("pid", static_cast<int64_t>(GetCurrentProcessId()))
                               .Add("command_line", commandLine->ToWindowsString()));
    if (app) {
        process.m_link->Record(
            CLine("hook", "OnBeforeCommandLineProcessing").Add("process", "renderer").Add("process_type", "renderer"));
        CefRefPtr<CCommandLineImpl> writable = static_cast<CCommandLineImpl*>(commandLine->Copy().get());
        app->OnBeforeCommandLineProcessing(L"renderer", writable.get());
        CefRefPtr<CSchemeRegistrarImpl> registrar = new CSchemeRegistrarImpl();
        process.m_link->Record(CLine("hook", "OnRegisterCustomSchemes").Add("process", "renderer"));
        app->OnRegisterCustomSchemes(registrar.get());
        for (const std::string& line : registrar->Lines())
            process.m_link->RecordText(line);
    }
    return process.Loop();
}

CRendererProcess::CRendererProcess(CefRefPtr<CefApp> app, std::unique_ptr<CIpcChannel> channel)
    : m_app(app),
      m_channel(std::move(channel)),
      m_link(std::make_shared<CRendererLink>(m_channel.get()))
{
    g_current = this;
    SetThreadQueue(TID_RENDERER, &m_queue);
}

CRendererProcess::~CRendererProcess()
{
    m_channel->Stop();
    m_link->Detach();
    SetThreadQueue(TID_RENDERER, nullptr);
    m_queue.Close();
    for (auto& browser : m_browsers)
        browser.second->Destroy(nullptr);
    m_browsers.clear();
    g_current = nullptr;
}

int CRendererProcess::Loop()
{
    if (!m_queue.IsValid() || !m_channel->Start(this, nullptr))
        return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

void CRendererProcess::OnIpcMessage(const std::string& payload)
{
    m_queue.Post([this, payload]() { Handle(payload); });
}

void CRendererProcess::OnIpcClosed()
{
    // The browser process closed the pipe or ended: so does this one.
    m_queue.Post([]() { PostQuitMessage(0); });
}

CefRefPtr<CefRenderProcessHandler> CRendererProcess::Handler() const
{
    return m_app ? m_app->GetRenderProcessHandler() : nullptr;
}

CefRefPtr<CRendererBrowser> CRendererProcess::FindBrowser(int id) const
{
    auto it = m_browsers.find(id);
    return it == m_browsers.end() ? nullptr : it->second;
}

void CRendererProcess::Handle(const std::string& payload)
{
    CWireReader reader(payload);
    uint32_t type = 0;
    if (!reader.U32(&type))
        return;
    switch (static_cast<CIpcType>(type)) {
    case CIpcType::kHello: OnHello(&reader); break;
    case CIpcType::kBrowserCreated: OnBrowserCreated(&reader); break;
    case CIpcType::kBrowserDestroyed: OnBrowserDestroyed(&reader); break;
    case CIpcType::kFrameLoaded: OnFrameLoaded(&reader); break;
    case CIpcType::kProcessMessage: OnProcessMessage(&reader); break;
    case CIpcType::kInvokeNative: OnInvokeNative(&reader); break;
    case CIpcType::kCrash:
        m_link->Record(CLine("event", "CrashRequested").Add("process", "renderer"));
        CrashWithAccessViolation();
        break;
    default: break;
    }
}

void CRendererProcess::OnHello(CWireReader* reader)
{
    CefRefPtr<CListValueImpl> extraInfo = CListValueImpl::Read(reader, 0, false);
    if (!extraInfo)
        return;
    extraInfo->SetReadOnly();
    CefRefPtr<CefRenderProcessHandler> handler = Handler();
    if (handler) {
        m_link->Record(CLine("hook", "OnRenderThreadCreated")
                           .Add("process", "renderer")
                           .AddRaw("extra_info", extraInfo->ToText()));
        handler->OnRenderThreadCreated(extraInfo.get());
        m_link->Record(CLine("hook", "OnWebKitInitialized").Add("process", "renderer"));
        handler->OnWebKitInitialized();
    }
    ReportExtensions();
}

// An engine whose pages run their own script installs the extensions there.
void CRendererProcess::ReportExtensions()
{
    CWireWriter message = IpcMessage(CIpcType::kExtensions);
    message.U32(static_cast<uint32_t>(m_extensions.size()));
    for (const CExtension& extension : m_extensions) {
        message.Text(extension.name);
        message.Text(extension.code);
    }
    m_link->Send(message.Bytes());
}

void CRendererProcess::OnBrowserCreated(CWireReader* reader)
{
    int32_t id = 0;
    bool isPopup = false;
    if (!reader->I32(&id) || !reader->Bool(&isPopup) || FindBrowser(id))
        return;
    CefRefPtr<CRendererBrowser> browser = new CRendererBrowser(m_link, id, isPopup);
    m_browsers[id] = browser;
    m_link->Record(CLine("hook", "OnBrowserCreated").Add("process", "renderer").Add("browser", id));
    if (CefRefPtr<CefRenderProcessHandler> handler = Handler())
        handler->OnBrowserCreated(browser.get());
}

void CRendererProcess::OnBrowserDestroyed(CWireReader* reader)
{
    int32_t id = 0;
    if (!reader->I32(&id))
        return;
    CefRefPtr<CRendererBrowser> browser = FindBrowser(id);
    if (!browser)
        return;
    CefRefPtr<CefRenderProcessHandler> handler = Handler();
    browser->Destroy(handler);
    m_link->Record(CLine("hook", "OnBrowserDestroyed").Add("process", "renderer").Add("browser", id));
    if (handler)
        handler->OnBrowserDestroyed(browser.get());
    m_browsers.erase(id);
}

void CRendererProcess::OnFrameLoaded(CWireReader* reader)
{
    int32_t id = 0;
    int64_t frameId = 0;
    bool isMain = false, canGoBack = false, canGoForward = false;
    std::wstring name, url;
    if (!reader->I32(&id) || !reader->I64(&frameId) || !reader->Bool(&isMain) || !reader->Text(&name) ||
        !reader->Text(&url) || !reader->Bool(&canGoBack) || !reader->Bool(&canGoForward)) {
        return;
    }
    if (CefRefPtr<CRendererBrowser> browser = FindBrowser(id)) {
        browser->FrameLoaded(Handler(), frameId, isMain, name, url, canGoBack, canGoForward);
    }
}

void CRendererProcess::OnProcessMessage(CWireReader* reader)
{
    int32_t id = 0;
    if (!reader->I32(&id))
        return;
    CefRefPtr<CProcessMessageImpl> message = CProcessMessageImpl::Read(reader);
    CefRefPtr<CRendererBrowser> browser = FindBrowser(id);
    if (!message || !browser)
        return;
    message->SetReadOnly();
    CefRefPtr<CefRenderProcessHandler> handler = Handler();
    m_link->Record(CLine("hook", "OnProcessMessageReceived")
                       .Add("process", "renderer")
                       .Add("browser", id)
                       .Add("source_process", "browser")
                       .Add("name", message->Name())
                       .AddRaw("args", message->Arguments()->ToText()));
    const bool handled = handler && handler->OnProcessMessageReceived(browser.get(), PID_BROWSER, message.get());
    m_link->Record(CLine("return", "OnProcessMessageReceived")
                       .Add("process", "renderer")
                       .Add("browser", id)
                       .Add("value", handled));
}

void CRendererProcess::OnInvokeNative(CWireReader* reader)
{
    uint32_t callId = 0, count = 0;
    int32_t browserId = 0;
    int64_t frameId = 0;
    std::wstring name;
    if (!reader->U32(&callId) || !reader->I32(&browserId) || !reader->I64(&frameId) || !reader->Text(&name) ||
        !reader->U32(&count) || count > kMaxNativeArguments) {
        return;
    }
    CefV8ValueList arguments;
    std::vector<std::string> texts;
    for (uint32_t i = 0; i < count; ++i) {
        CScriptValue value;
        if (!CScriptValue::Read(reader, 0, &value))
            return;
        arguments.push_back(CV8ValueImpl::FromScript(value));
        texts.push_back(value.ToText());
    }
    const CExtension* extension = FindNative(name);
    if (!extension) {
        Reply(callId, static_cast<uint8_t>(CNativeOutcome::kNoSuchFunction), std::wstring(), CScriptValue());
        return;
    }
    CefRefPtr<CRendererBrowser> browser = FindBrowser(browserId);
    CefRefPtr<CRendererFrame> frame = browser ? browser->FindFrame(frameId) : nullptr;
    CefRefPtr<CV8ContextImpl> context = frame ? frame->Context() : nullptr;
    if (!context || !context->Enter()) {
        Reply(callId, static_cast<uint8_t>(CNativeOutcome::kNoContext), std::wstring(), CScriptValue());
        return;
    }
    CefRefPtr<CefV8Value> retval;
    CefString exception;
    m_link->Record(CLine("hook", "Execute")
                       .Add("process", "renderer")
                       .Add("extension", extension->name)
                       .Add("name", name)
                       .Add("count", static_cast<int>(count))
                       .AddRaw("arguments", JoinList(texts)));
    const bool handled = extension->handler->Execute(name, context->GetGlobal(), arguments, retval, exception);
    context->Exit();
    const CScriptValue result = CV8ValueImpl::ToScript(retval);
    m_link->Record(CLine("return", "Execute")
                       .Add("process", "renderer")
                       .Add("name", name)
                       .Add("value", handled)
                       .Add("exception", exception)
                       .AddRaw("retval", result.ToText()));
    CNativeOutcome outcome = CNativeOutcome::kReturned;
    if (!handled)
        outcome = CNativeOutcome::kNotHandled;
    else if (!exception.empty())
        outcome = CNativeOutcome::kThrew;
    Reply(callId, static_cast<uint8_t>(outcome), exception.ToWString(), result);
}

void CRendererProcess::Reply(uint32_t callId, uint8_t outcome, const std::wstring& exception,
                             const CScriptValue& retval)
{
    CWireWriter message = IpcMessage(CIpcType::kNativeResult);
    message.U32(callId);
    message.U8(outcome);
    message.Text(exception);
    retval.Write(&message);
    m_link->Send(message.Bytes());
}

const CRendererProcess::CExtension* CRendererProcess::FindNative(const std::wstring& name) const
{
    for (const CExtension& extension : m_extensions) {
        for (const std::wstring& native : extension.natives) {
            if (native == name)
                return &extension;
        }
    }
    return nullptr;
}

bool CRendererProcess::RegisterExtension(const std::wstring& name, const std::wstring& code,
                                         CefRefPtr<CefV8Handler> handler)
{
    std::vector<std::wstring> natives = NativeFunctionNames(code);
    bool accepted = !name.empty();
    for (const CExtension& extension : m_extensions) {
        if (extension.name == name)
            accepted = false;
    }
    // Native functions need a handler to call.
    if (!natives.empty() && !handler)
        accepted = false;
    std::vector<std::string> items;
    for (const std::wstring& native : natives)
        items.push_back(EncodeText(native));
    m_link->Record(CLine("call", "CefRegisterExtension")
                       .Add("process", "renderer")
                       .Add("extension_name", name)
                       .AddRaw("natives", JoinList(items))
                       .Add("javascript_code", code)
                       .AddRaw("handler", handler ? "set" : "null")
                       .Add("value", accepted));
    if (accepted)
        m_extensions.push_back({name, code, std::move(natives), handler});
    return accepted;
}

} // namespace cefcompat

bool CefRegisterExtension(const CefString& extension_name, const CefString& javascript_code,
                          CefRefPtr<CefV8Handler> handler)
{
    cefcompat::CRendererProcess* process = cefcompat::CRendererProcess::Current();
    if (!process)
        return false;
    return process->RegisterExtension(extension_name.ToWString(), javascript_code.ToWString(), handler);
}
