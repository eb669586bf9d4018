#include "engines/chromium_engine.h"

#include <algorithm>

#include "engines/chromium_input.h"
#include "engines/chromium_page_script.h"
#include "engines/chromium_urls.h"
#include "engines/devtools_json.h"
#include "runtime/ipc_messages.h"
#include "runtime/log.h"
#include "runtime/text.h"

namespace cefcompat {
namespace {

// A render process running an extension's native function for the page.
constexpr std::chrono::milliseconds kNativeCallDeadline{10000};

// A page's title as it changes, through a binding (a page function whose calls come back as
// Runtime.bindingCalled).
const char kTitleBinding[] = "__cefcompatTitle";
const char kTitleWatch[] =
    "(() => { let last = null; new MutationObserver(() => { if (document.title === last) return; "
    "last = document.title; __cefcompatTitle(last); }).observe(document, "
    "{subtree: true, childList: true, characterData: true}); })();";

// Milliseconds to |deadline|, at least one: a call whose time is up still takes an answer
// that has already come.
int TimeLeft(DevToolsClock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - DevToolsClock::now());
    return std::max(1, static_cast<int>(left.count()));
}

int ErrorCodeOf(const std::string& text)
{
    static const std::map<std::string, int> kCodes = {
        {"net::ERR_FAILED", ERR_FAILED},
        {"net::ERR_ABORTED", ERR_ABORTED},
        {"net::ERR_INVALID_ARGUMENT", ERR_INVALID_ARGUMENT},
        {"net::ERR_FILE_NOT_FOUND", ERR_FILE_NOT_FOUND},
        {"net::ERR_TIMED_OUT", ERR_TIMED_OUT},
        {"net::ERR_ACCESS_DENIED", ERR_ACCESS_DENIED},
        {"net::ERR_CONNECTION_CLOSED", ERR_CONNECTION_CLOSED},
        {"net::ERR_CONNECTION_RESET", ERR_CONNECTION_RESET},
        {"net::ERR_CONNECTION_REFUSED", ERR_CONNECTION_REFUSED},
        {"net::ERR_CONNECTION_ABORTED", ERR_CONNECTION_ABORTED},
        {"net::ERR_CONNECTION_FAILED", ERR_CONNECTION_FAILED},
        {"net::ERR_NAME_NOT_RESOLVED", ERR_NAME_NOT_RESOLVED},
        {"net::ERR_INTERNET_DISCONNECTED", ERR_INTERNET_DISCONNECTED},
        {"net::ERR_SSL_PROTOCOL_ERROR", ERR_SSL_PROTOCOL_ERROR},
        {"net::ERR_ADDRESS_INVALID", ERR_ADDRESS_INVALID},
        {"net::ERR_ADDRESS_UNREACHABLE", ERR_ADDRESS_UNREACHABLE},
        {"net::ERR_CERT_COMMON_NAME_INVALID", ERR_CERT_COMMON_NAME_INVALID},
        {"net::ERR_CERT_DATE_INVALID", ERR_CERT_DATE_INVALID},
        {"net::ERR_CERT_AUTHORITY_INVALID", ERR_CERT_AUTHORITY_INVALID},
        {"net::ERR_CERT_REVOKED", ERR_CERT_REVOKED},
        {"net::ERR_CERT_INVALID", ERR_CERT_INVALID},
        {"net::ERR_INVALID_URL", ERR_INVALID_URL},
        {"net::ERR_DISALLOWED_URL_SCHEME", ERR_DISALLOWED_URL_SCHEME},
        {"net::ERR_UNKNOWN_URL_SCHEME", ERR_UNKNOWN_URL_SCHEME},
        {"net::ERR_TOO_MANY_REDIRECTS", ERR_TOO_MANY_REDIRECTS},
        {"net::ERR_UNSAFE_REDIRECT", ERR_UNSAFE_REDIRECT},
        {"net::ERR_UNSAFE_PORT", ERR_UNSAFE_PORT},
        {"net::ERR_INVALID_RESPONSE", ERR_INVALID_RESPONSE},
        {"net::ERR_EMPTY_RESPONSE", ERR_EMPTY_RESPONSE},
        {"net::ERR_CACHE_MISS", ERR_CACHE_MISS},
    };
    auto it = kCodes.find(text);
    return it != kCodes.end() ? it->second : ERR_FAILED;
}

// CSS cursor names as CEF's cursor types; "auto" and names not listed are the pointer.
cef_cursor_type_t CursorOf(const std::string& css)
{
    static const std::map<std::string, cef_cursor_type_t> kCursors = {{"crosshair", CT_CROSS},
                                                                      {"pointer", CT_HAND},
                                                                      {"text", CT_IBEAM},
                                                                      {"wait", CT_WAIT},
                                                                      {"help", CT_HELP},
                                                                      {"e-resize", CT_EASTRESIZE},
                                                                      {"n-resize", CT_NORTHRESIZE},
                                                                      {"ne-resize", CT_NORTHEASTRESIZE},
                                                                      {"nw-resize", CT_NORTHWESTRESIZE},
                                                                      {"s-resize", CT_SOUTHRESIZE},
                                                                      {"se-resize", CT_SOUTHEASTRESIZE},
                                                                      {"sw-resize", CT_SOUTHWESTRESIZE},
                                                                      {"w-resize", CT_WESTRESIZE},
                                                                      {"ns-resize", CT_NORTHSOUTHRESIZE},
                                                                      {"ew-resize", CT_EASTWESTRESIZE},
                                                                      {"nesw-resize", CT_NORTHEASTSOUTHWESTRESIZE},
                                                                      {"nwse-resize", CT_NORTHWESTSOUTHEASTRESIZE},
                                                                      {"col-resize", CT_COLUMNRESIZE},
                                                                      {"row-resize", CT_ROWRESIZE},
                                                                      {"move", CT_MOVE},
                                                                      {"vertical-text", CT_VERTICALTEXT},
                                                                      {"cell", CT_CELL},
                                                                      {"context-menu", CT_CONTEXTMENU},
                                                                      {"alias", CT_ALIAS},
                                                                      {"progress", CT_PROGRESS},
                                                                      {"no-drop", CT_NODROP},
                                                                      {"copy", CT_COPY},
                                                                      {"none", CT_NONE},
                                                                      {"not-allowed", CT_NOTALLOWED},
                                                                      {"zoom-in", CT_ZOOMIN},
                                                                      {"zoom-out", CT_ZOOMOUT},
                                                                      {"grab", CT_GRAB},
                                                                      {"grabbing", CT_GRABBING}};
    auto it = kCursors.find(css);
    return it != kCursors.end() ? it->second : CT_POINTER;
}

// The answer as Chromium would have given it, for parts that read raw answers.
nlohmann::json RawAnswer(const CDevToolsAnswer& answer)
{
    if (answer.ok)
        return {{"result", answer.result}};
    return {{"error", {{"message", answer.error}}}};
}

// A message's size in memory, roughly: its text and a little for every value.
size_t SizeOf(const nlohmann::json& value)
{
    size_t size = 16;
    if (value.is_string())
        return size + value.get_ref<const std::string&>().size();
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it)
            size += it.key().size() + SizeOf(it.value());
    } else if (value.is_array()) {
        for (const nlohmann::json& item : value)
            size += SizeOf(item);
    }
    return size;
}

} // namespace

CChromiumEngine::CChromiumEngine(IPageSite& site, CChromiumOptions options)
    : m_site(site),
      m_options(std::move(options)),
      m_alive(std::make_shared<bool>(true)),
      m_screencast(
          m_options.pngFrames,
          CFrameDecoderPool::DefaultThreads(m_options.pngFrames ? FrameCodec::Wic : FrameCodec::LibJpegTurbo),
          [this](const std::string& method, Json params) { Command(method, std::move(params)); },
          [this](std::function<void()> task) { m_site.PostTask(std::move(task)); },
          [this](const void* bgra, int width, int height) { Show(bgra, width, height); }),
      m_inbox(
          [this](std::function<void()> task) {
              std::weak_ptr<bool> alive = m_alive;
              m_site.PostTask([alive, task]() {
                  if (alive.lock())
                      task();
              });
          },
          [this](Json& message) { Deliver(message); }),
      m_timer([this]() {
          std::weak_ptr<bool> alive = m_alive;
          m_site.PostTask([this, alive]() {
              if (alive.lock())
                  ExpireCalls();
          });
      }),
      m_questions(
          site,
          [this](const std::string& method, Json params, bool toBrowser, AnswerFn onAnswer) {
              Command(method, std::move(params), std::move(onAnswer), toBrowser);
          },
          [this](const std::string& session, const std::string& method, Json params) {
              if (m_connection)
                  m_connection->Send(method, std::move(params), session);
          }),
      m_frames(site)
{
}

CChromiumEngine::~CChromiumEngine()
{
    Disconnect();
}

bool CChromiumEngine::Launch(std::unique_ptr<CChromiumLaunch> started, std::string* error)
{
    if (Connect(std::move(started), error))
        return true;
    m_site.Record(m_site.EventLine("ChromiumFailed").Add("browser", m_options.browser).Add("reason", *error));
    Disconnect();
    return false;
}

bool CChromiumEngine::Connect(std::unique_ptr<CChromiumLaunch> started, std::string* error)
{
    m_process = started ? started->Take(error)
                        : CChromiumProcess::Start(m_options.browser, HeadlessSwitches(), kStartTimeoutMs, error);
    if (!m_process)
        return false;
    std::weak_ptr<bool> alive = m_alive;
    m_inbox.Restart();
    m_connection = std::make_unique<CDevToolsConnection>([this](Json& message) { OnMessage(message); },
                                                         [this, alive]() {
                                                             m_site.PostTask([this, alive]() {
                                                                 if (alive.lock())
                                                                     OnChromiumGone(TS_PROCESS_CRASHED);
                                                             });
                                                         });
    if (!m_connection->Open(m_process->DevToolsLink(), error))
        return false;
    m_browser = NewSession(
        std::string(), [this](const std::string& method, const Json& params) { m_questions.Dispatch(method, params); });

    // Every answer the browser's creation waits for comes within one budget, not one each.
    const DevToolsClock::time_point deadline = DevToolsClock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    const auto call = [&](const std::string& method, Json params, const std::string& session) {
        const std::optional<Json> answer = m_connection->Call(method, std::move(params), session, TimeLeft(deadline));
        return answer ? AnswerOf(*answer) : CDevToolsAnswer();
    };
    // The page Chromium opened at start is the one this browser shows. The first answer comes
    // once Chromium has started.
    const CDevToolsAnswer targets = call("Target.getTargets", Json::object(), "");
    if (!targets.ok && !m_process->Failure().empty()) {
        *error = m_process->Failure();
        return false;
    }
    for (const Json& info : ArrayOf(targets.result, "targetInfos")) {
        if (Text(info, "type") == "page")
            m_targetId = Text(info, "targetId");
    }
    const std::string session =
        m_targetId.empty()
            ? std::string()
            : Text(call("Target.attachToTarget", {{"targetId", m_targetId}, {"flatten", true}}, "").result,
                   "sessionId");
    if (session.empty()) {
        *error = "Chromium offered no page to attach to";
        return false;
    }
    m_page = NewSession(session, [this, session](const std::string& method, const Json& params) {
        OnPageEvent(session, method, params);
    });
    m_frames.Reset(m_targetId);
    m_firstEntry = 0;
    m_site.Record(m_site.EventLine("ChromiumStarted")
                      .Add("pid", m_process->Pid())
                      .Add("profile", m_process->Profile())
                      .Add("sandbox", m_process->Sandbox()));
    // All answered before the first navigation (events of a navigation that starts earlier are
    // lost), and sent together: Chromium takes them in order.
    std::vector<CDevToolsCommand> setup;
    for (const char* method : {"Page.enable", "Network.enable", "Runtime.enable"})
        setup.push_back({method, Json::object(), session});
    // Chromium tells nobody when a page changes its title: every document reports its own.
    setup.push_back({"Runtime.addBinding", {{"name", kTitleBinding}}, session});
    setup.push_back({"Page.addScriptToEvaluateOnNewDocument", {{"source", kTitleWatch}}, session});
    for (auto& command : FrameTargetCommands())
        setup.push_back({command.first, std::move(command.second), session});
    const auto answers = m_connection->CallAll(setup, TimeLeft(deadline));
    for (size_t i = 0; i < answers.size(); ++i) {
        if (!answers[i] || !AnswerOf(*answers[i]).ok) {
            *error = "Chromium did not take " + setup[i].method;
            return false;
        }
    }
    m_questions.Attach(m_targetId, m_process->Profile() + "/downloads");
    return true;
}

std::unique_ptr<CDevToolsSession> CChromiumEngine::NewSession(const std::string& id, CDevToolsSession::EventFn onEvent)
{
    return std::make_unique<CDevToolsSession>(
        [this](const std::string& method, Json params, const std::string& session) {
            return m_connection ? m_connection->Send(method, std::move(params), session) : 0;
        },
        id, std::move(onEvent), [this](DevToolsClock::time_point when) { m_timer.At(when); });
}

// What every target that runs frames of the page needs before its script runs: the native
// functions' binding and caller, the extensions' scripts, and its own frames from other sites
// held at their start (Target.attachedToTarget) until they have the same.
std::vector<std::pair<std::string, nlohmann::json>> CChromiumEngine::FrameTargetCommands() const
{
    std::vector<std::pair<std::string, Json>> commands = {
        {"Runtime.addBinding", {{"name", std::string(kNativeBinding)}}},
        {"Page.addScriptToEvaluateOnNewDocument", {{"source", NativeCallerScript()}}},
    };
    for (const CExtensionSource& extension : m_extensions)
        commands.emplace_back("Page.addScriptToEvaluateOnNewDocument", Json{{"source", PageScriptOf(extension)}});
    commands.emplace_back("Target.setAutoAttach",
                          Json{{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}});
    return commands;
}

void CChromiumEngine::InstallExtension(const CExtensionSource& extension)
{
    const Json params = {{"source", PageScriptOf(extension)}};
    if (m_page)
        m_page->Send("Page.addScriptToEvaluateOnNewDocument", params);
    for (const auto& frame : m_frameSessions)
        frame.second->Send("Page.addScriptToEvaluateOnNewDocument", params);
}

// A frame from another site runs in a target of its own, which Chromium holds at its start
// until it has what the page's own frames have; its events are the page's. Other targets of
// the page (its workers) report nothing and run at once.
void CChromiumEngine::OnTargetAttached(const std::string& parent, const Json& params)
{
    const std::string session = Text(params, "sessionId");
    CDevToolsSession* parentSession = SessionOf(parent);
    if (session.empty() || !parentSession)
        return;
    const bool frame = Text(Member(params, "targetInfo"), "type") == "iframe" &&
                       m_frameSessions.size() < CFrameRegistry::kMaxEntries && !m_frameSessions.count(session);
    if (frame) {
        auto target = NewSession(session, [this, session](const std::string& method, const Json& event) {
            OnPageEvent(session, method, event);
        });
        for (const char* method : {"Page.enable", "Network.enable", "Runtime.enable"})
            target->Send(method, Json::object());
        for (auto& command : FrameTargetCommands())
            target->Send(command.first, std::move(command.second));
        target->Send("Runtime.runIfWaitingForDebugger", Json::object());
        m_frameSessions[session] = std::move(target);
        return;
    }
    m_connection->Send("Runtime.runIfWaitingForDebugger", Json::object(), session);
    parentSession->Send("Target.detachFromTarget", {{"sessionId", session}});
}

void CChromiumEngine::OnTargetDetached(const Json& params)
{
    const auto frame = m_frameSessions.find(Text(params, "sessionId"));
    if (frame == m_frameSessions.end())
        return;
    const std::unique_ptr<CDevToolsSession> target = std::move(frame->second);
    m_frameSessions.erase(frame);
    m_frames.ForgetContexts(target->Id());
    target->Close("detached");
}

void CChromiumEngine::ExtensionsReady(const std::vector<CExtensionSource>& extensions)
{
    for (const CExtensionSource& extension : extensions) {
        const bool known = std::any_of(m_extensions.begin(), m_extensions.end(),
                                       [&](const CExtensionSource& e) { return e.name == extension.name; });
        if (known)
            continue;
        m_extensions.push_back(extension);
        InstallExtension(extension);
    }
    ReleaseStart();
}

// A render process that ended names no more extensions.
void CChromiumEngine::RendererGone()
{
    ReleaseStart();
}

void CChromiumEngine::ReleaseStart()
{
    m_extensionsKnown = true;
    if (std::exchange(m_startPending, false) && !m_startUrl.empty())
        Navigate(m_startUrl, TT_EXPLICIT);
}

void CChromiumEngine::Disconnect()
{
    // The connection's thread may wait for room in the inbox; it ends before the pointer is
    // cleared (it calls into this object and acks frames through m_connection).
    m_inbox.Stop();
    if (m_connection)
        m_connection->Stop();
    // What was asked of this Chromium is answered by nobody: its hooks would describe a page
    // that is gone.
    m_toolsSession.reset();
    m_frameSessions.clear();
    m_page.reset();
    m_browser.reset();
    m_connection.reset();
    m_process.reset();
    DropHistoryMoves();
}

void CChromiumEngine::OnChromiumGone(cef_termination_status_t status)
{
    if (!m_connection)
        return;
    m_site.Record(m_site.EventLine("ChromiumEnded").Add("pid", m_process ? m_process->Pid() : std::string()));
    Disconnect();
    if (m_tools)
        m_tools->Ended();
    m_navigation.Stop();
    m_site.RenderProcessTerminated(status);
}

// --- Connection thread ----------------------------------------------------------------------

void CChromiumEngine::OnMessage(Json& message)
{
    if (Text(message, "method") == "Page.screencastFrame") {
        OnScreencastFrame(message);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_toolsMutex);
        if (m_tools && m_tools->TakeMessage(message))
            return;
    }
    const size_t bytes = SizeOf(message);
    m_inbox.Push(std::move(message), bytes);
}

void CChromiumEngine::OnScreencastFrame(Json& message)
{
    Json& params = message["params"];
    if (!params.is_object())
        return;
    const std::string session = Text(message, "sessionId");
    // Acked at once: Chromium captures the next frame while this one is decoded and painted.
    m_connection->Send("Page.screencastFrameAck", {{"sessionId", Number(params, "sessionId", 0)}}, session);
    {
        std::lock_guard<std::mutex> lock(m_toolsMutex);
        if (m_tools && m_tools->TakeFrame(session, params))
            return;
    }
    m_screencast.Take(params);
}

// --- UI thread: frames ----------------------------------------------------------------------

void CChromiumEngine::Show(const void* bgra, int width, int height)
{
    if (!m_hidden)
        m_site.Paint(PET_VIEW, {CefRect(0, 0, width, height)}, bgra, width, height);
}

void CChromiumEngine::StartScreencast()
{
    if (!m_hidden && m_page)
        m_screencast.Start();
}

void CChromiumEngine::Resized()
{
    int width = 0;
    int height = 0;
    if (!m_site.ViewSize(&width, &height))
        return;
    m_screencast.SetSize(width, height);
    if (m_page)
        m_screencast.ApplySize(m_hidden);
}

void CChromiumEngine::Hidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    if (hidden)
        m_screencast.Stop();
    else
        StartScreencast();
}

void CChromiumEngine::Invalidate(cef_paint_element_type_t type)
{
    if (type == PET_VIEW && !m_hidden)
        m_screencast.ShowAgain();
}

// --- UI thread: developer tools -------------------------------------------------------------

std::unique_ptr<IPageTools> CChromiumEngine::OpenTools(IToolsWindow& window)
{
    if (!m_connection || m_targetId.empty())
        return nullptr;
    auto tools = std::make_unique<CChromiumTools>(
        window,
        [this](const std::string& session, const std::string& method, Json params, AnswerFn onAnswer) {
            CommandOn(session, method, std::move(params), std::move(onAnswer));
        },
        // Connection thread, like the frames' acks.
        [this](const std::string& session, const std::string& method, Json params) {
            return m_connection->Send(method, std::move(params), session);
        },
        [this](std::function<void()> task) { m_site.PostTask(std::move(task)); },
        [this]() {
            std::lock_guard<std::mutex> lock(m_toolsMutex);
            m_tools = nullptr;
            m_questions.KeepPage(std::string());
        });
    {
        std::lock_guard<std::mutex> lock(m_toolsMutex);
        m_tools = tools.get();
    }
    // Chromium announces the new target before it answers with its id.
    m_questions.KeepPage(tools->Url());
    tools->Open(m_targetId);
    return tools;
}

// --- UI thread: commands and events -----------------------------------------------------------

void CChromiumEngine::Command(const std::string& method, Json params, AnswerFn onAnswer, bool toBrowser)
{
    if (m_page)
        CommandOn(toBrowser ? std::string() : m_page->Id(), method, std::move(params), std::move(onAnswer));
}

void CChromiumEngine::CommandOn(const std::string& session, const std::string& method, Json params, AnswerFn onAnswer)
{
    // Sessions other than the browser's, its page's and its frames' are the developer tools'.
    if (!m_connection)
        return;
    if (!session.empty() && !SessionOf(session)) {
        if (m_toolsSession)
            m_toolsSession->Close("replaced");
        // Their events but for frames (which the connection's thread hands them) need nobody.
        m_toolsSession = NewSession(session, [](const std::string&, const Json&) {});
    }
    CDevToolsSession* target = SessionOf(session);
    if (!onAnswer) {
        target->Send(method, std::move(params));
        return;
    }
    target->Call(method, std::move(params), [onAnswer](const CDevToolsAnswer& answer) { onAnswer(RawAnswer(answer)); });
}

std::vector<CDevToolsSession*> CChromiumEngine::Sessions() const
{
    std::vector<CDevToolsSession*> sessions;
    for (CDevToolsSession* session : {m_browser.get(), m_page.get(), m_toolsSession.get()}) {
        if (session)
            sessions.push_back(session);
    }
    for (const auto& frame : m_frameSessions)
        sessions.push_back(frame.second.get());
    return sessions;
}

CDevToolsSession* CChromiumEngine::SessionOf(const std::string& id) const
{
    for (CDevToolsSession* session : Sessions()) {
        if (session->Id() == id)
            return session;
    }
    return nullptr;
}

void CChromiumEngine::Deliver(Json& message)
{
    if (message.contains("id")) {
        for (CDevToolsSession* session : Sessions()) {
            if (session->TakeAnswer(message))
                return;
        }
        return;
    }
    // Events of the browser itself (targets, downloads) carry no session.
    if (CDevToolsSession* session = SessionOf(Text(message, "sessionId")))
        session->TakeEvent(std::move(message));
}

void CChromiumEngine::ExpireCalls()
{
    const DevToolsClock::time_point now = DevToolsClock::now();
    std::weak_ptr<bool> alive = m_alive;
    std::vector<std::string> ids;
    for (CDevToolsSession* session : Sessions())
        ids.push_back(session->Id());
    for (const std::string& id : ids) {
        // An answer may end the connection and with it every session.
        CDevToolsSession* session = SessionOf(id);
        if (!session)
            continue;
        session->Expire(now);
        if (!alive.lock())
            return;
    }
    for (CDevToolsSession* session : Sessions()) {
        const auto next = session->NextDeadline();
        if (next)
            m_timer.At(*next);
    }
}

void CChromiumEngine::OnPageEvent(std::string session, const std::string& method, const Json& params)
{
    const bool page = m_page && session == m_page->Id();
    if (method == "Target.attachedToTarget") {
        OnTargetAttached(session, params);
        return;
    }
    if (method == "Target.detachedFromTarget") {
        OnTargetDetached(params);
        return;
    }
    // What the page asks comes on its own session, wherever its frames run.
    if (page && m_questions.Dispatch(method, params))
        return;
    if (method == "Inspector.targetCrashed") {
        if (!page)
            return;
        // The page's renderer died; Chromium lives on and the next navigation brings a new one.
        m_navigation.Stop();
        m_site.RenderProcessTerminated(TS_PROCESS_CRASHED);
    } else if (method == "Page.frameStartedLoading") {
        if (m_frames.IsMain(Text(params, "frameId")) && m_navigation.Start())
            m_site.LoadingStateChange(true, CanGoBack(), CanGoForward());
    } else if (method == "Page.frameNavigated") {
        OnFrameNavigated(Member(params, "frame"));
        if (m_historyMoveWaits)
            NextHistoryMove();
    } else if (method == "Page.frameDetached") {
        // A frame that moves to another process ("swap") lives on.
        if (Text(params, "reason") != "swap")
            m_frames.Detach(Text(params, "frameId"));
    } else if (method == "Page.navigatedWithinDocument") {
        if (!m_frames.IsMain(Text(params, "frameId")))
            return;
        m_url = FromChromiumUrl(FromUtf8(Text(params, "url")));
        m_page->CallInOrder("Page.getNavigationHistory", Json::object(), [this](const CDevToolsAnswer& answer) {
            ApplyHistory(answer);
            m_site.AddressChange(m_site.MainFrameId(), m_url);
        });
    } else if (method == "Page.frameStoppedLoading") {
        OnFrameStoppedLoading(Text(params, "frameId"));
        if (m_historyMoveWaits)
            NextHistoryMove();
    } else if (method == "Network.requestWillBeSent") {
        if (Text(params, "type") == "Document")
            m_frames.DocumentRequested(Text(params, "requestId"), Text(params, "frameId"));
    } else if (method == "Network.responseReceived") {
        if (Text(params, "type") == "Document")
            m_frames.DocumentReceived(Text(params, "frameId"), Number(Member(params, "response"), "status", 200));
    } else if (method == "Network.loadingFailed") {
        OnDocumentFailed(params);
    } else if (method == "Runtime.executionContextCreated") {
        const Json context = Member(params, "context");
        const Json aux = Member(context, "auxData");
        if (Flag(aux, "isDefault"))
            m_frames.SetContext(Text(aux, "frameId"), {session, Number(context, "id", 0)});
    } else if (method == "Runtime.executionContextDestroyed") {
        m_frames.ForgetContext({session, Number(params, "executionContextId", 0)});
    } else if (method == "Runtime.executionContextsCleared") {
        m_frames.ForgetContexts(session);
    } else if (method == "Runtime.bindingCalled") {
        const CScriptContext context = {session, Number(params, "executionContextId", 0)};
        if (Text(params, "name") == kNativeBinding)
            OnNativeCall(context, Text(params, "payload"));
        else if (Text(params, "name") == kTitleBinding && context == m_frames.ContextOf(m_frames.MainFrame()))
            OnTitleReported(FromUtf8(Text(params, "payload")));
    } else if (method == "Runtime.consoleAPICalled") {
        OnConsole(params);
    }
}

void CChromiumEngine::OnFrameNavigated(const Json& frame)
{
    const std::string id = Text(frame, "id");
    const std::wstring url = FromChromiumUrl(FromUtf8(Text(frame, "url") + Text(frame, "urlFragment")));
    if (!Text(frame, "parentId").empty()) {
        const int64_t cefId = m_frames.SubFrame(id, Text(frame, "name"));
        if (cefId == 0)
            return;
        m_site.AddressChange(cefId, url);
        m_site.LoadStart(cefId);
        return;
    }
    m_frames.SetMainFrame(id);
    // The error page of a failed load commits under the address that failed, as CEF's does.
    const std::string unreachable = Text(frame, "unreachableUrl");
    if (!unreachable.empty()) {
        m_url = FromChromiumUrl(FromUtf8(unreachable));
        m_navigation.CommitErrorPage();
    } else {
        m_url = url;
        m_navigation.Commit();
    }
    m_title.clear();
    m_page->CallInOrder("Page.getNavigationHistory", Json::object(), [this](const CDevToolsAnswer& answer) {
        ApplyHistory(answer);
        m_frames.DetachSubFrames();
        m_site.AddressChange(m_site.MainFrameId(), m_url);
        m_site.LoadStart(m_site.MainFrameId());
    });
}

void CChromiumEngine::OnFrameStoppedLoading(const std::string& frameId)
{
    const int httpStatus = m_frames.StatusOf(frameId);
    if (!m_frames.IsMain(frameId)) {
        const int64_t sub = m_frames.Find(frameId);
        if (sub != 0)
            m_site.LoadEnd(sub, httpStatus);
        return;
    }
    if (!m_navigation.Loading())
        return;
    m_frames.ForgetDocuments();
    const CLoadState state = m_navigation.State();
    if (state != CLoadState::kCommitted && state != CLoadState::kErrorPage) {
        m_navigation.Stop();
        m_site.LoadingStateChange(false, CanGoBack(), CanGoForward());
        return;
    }
    // History is asked again: while the document moved between processes it may have had none.
    // Chromium's browser process answers, with the title: a page whose script is busy holds
    // nothing back.
    // An error page came with no response.
    const int status = state == CLoadState::kErrorPage ? 0 : httpStatus;
    m_page->CallInOrder("Page.getNavigationHistory", Json::object(),
                        [this, status](const CDevToolsAnswer& answer) { EndLoad(ApplyHistory(answer), status); });
}

void CChromiumEngine::EndLoad(const std::wstring& title, int httpStatus)
{
    // A page without a title of its own is titled by its address.
    ReportTitle(title.empty() ? m_url : title);
    m_site.LoadEnd(m_site.MainFrameId(), httpStatus);
    m_navigation.Stop();
    m_site.LoadingStateChange(false, CanGoBack(), CanGoForward());
}

void CChromiumEngine::OnDocumentFailed(const Json& params)
{
    const std::string frame = m_frames.FrameOfRequest(Text(params, "requestId"));
    if (frame.empty() || !m_frames.IsMain(frame) || m_navigation.FailureReported())
        return;
    m_navigation.Fail();
    const std::string text = Flag(params, "canceled") ? "net::ERR_ABORTED" : Text(params, "errorText");
    m_site.LoadError(m_site.MainFrameId(), ErrorCodeOf(text), FromUtf8(text), m_pendingUrl);
}

void CChromiumEngine::OnTitleReported(const std::wstring& title)
{
    // While the page loads its title is taken when the load ends; an empty one names nothing.
    if (m_navigation.DocumentShown() && !m_navigation.Loading() && !title.empty())
        ReportTitle(title);
}

void CChromiumEngine::OnNativeCall(const CScriptContext& context, const std::string& payload)
{
    const int64_t frameId = m_frames.FrameOfContext(context);
    CNativeCall call;
    if (frameId == 0 || !ParseNativeCall(payload, &call))
        return;
    std::weak_ptr<bool> alive = m_alive;
    // What the handler sends the client reaches it before whatever the page raises next (a
    // dialog, a load): the events of the page and of the calling frame's target wait until the
    // render process has run the call.
    std::vector<std::function<void()>> releases = {m_page->HoldEvents(kNativeCallDeadline)};
    if (context.session != m_page->Id())
        releases.push_back(SessionOf(context.session)->HoldEvents(kNativeCallDeadline));
    m_site.CallNative(
        frameId, call.name, call.arguments, [this, alive, context, releases](const CNativeCallResult& result) {
            for (const std::function<void()>& release : releases)
                release();
            // The frame's target may have gone meanwhile.
            if (!alive.lock() || result.outcome != static_cast<uint8_t>(CNativeOutcome::kThrew) ||
                !SessionOf(context.session))
                return;
            CommandOn(context.session, "Runtime.evaluate",
                      {{"expression", ThrowLaterScript(result.exception)}, {"contextId", context.id}}, nullptr);
        });
}

void CChromiumEngine::ReportTitle(const std::wstring& title)
{
    if (title == m_title)
        return;
    m_title = title;
    m_site.TitleChange(title);
}

void CChromiumEngine::OnConsole(const Json& params)
{
    std::string message;
    for (const Json& argument : ArrayOf(params, "args")) {
        if (!message.empty())
            message += ' ';
        const auto value = argument.is_object() ? argument.find("value") : argument.end();
        if (argument.is_object() && value != argument.end())
            message += value->is_string() ? value->get<std::string>() : value->dump();
        else
            message += Text(argument, "description");
    }
    const Json& frames = ArrayOf(Member(params, "stackTrace"), "callFrames");
    const Json top = frames.empty() ? Json::object() : frames[0];
    m_site.ConsoleMessage(FromUtf8(message), FromUtf8(Text(top, "url")), Number(top, "lineNumber", 0) + 1);
}

bool CChromiumEngine::HistoryOf(const CDevToolsAnswer& answer, std::vector<int>* ids, int* index) const
{
    // A page between two processes has no history to give.
    if (!answer.ok)
        return false;
    ids->clear();
    for (const Json& entry : ArrayOf(answer.result, "entries"))
        ids->push_back(Number(entry, "id", 0));
    *index = Number(answer.result, "currentIndex", -1);
    const auto first = std::find(ids->begin(), ids->end(), m_firstEntry);
    if (first != ids->end()) {
        *index -= static_cast<int>(first - ids->begin());
        ids->erase(ids->begin(), first);
    }
    return true;
}

std::wstring CChromiumEngine::ApplyHistory(const CDevToolsAnswer& answer)
{
    std::vector<int> ids;
    int index = -1;
    if (!HistoryOf(answer, &ids, &index))
        return std::wstring();
    // The page Chromium opened at start is none of the browser's history.
    if (m_firstEntry == 0 && index >= 0 && index < static_cast<int>(ids.size())) {
        m_firstEntry = ids[static_cast<size_t>(index)];
        ids.erase(ids.begin(), ids.begin() + index);
        index = 0;
    }
    m_historyCount = static_cast<int>(ids.size());
    m_historyIndex = index;
    m_site.HistoryChanged(CanGoBack(), CanGoForward());
    const Json& entries = ArrayOf(answer.result, "entries");
    const int current = Number(answer.result, "currentIndex", -1);
    if (current < 0 || current >= static_cast<int>(entries.size()))
        return std::wstring();
    return FromUtf8(Text(entries[static_cast<size_t>(current)], "title"));
}

// --- UI thread: navigation ------------------------------------------------------------------

void CChromiumEngine::Start(const std::wstring& url)
{
    Resized();
    m_startUrl = url;
    m_startPending = true;
    if (m_extensionsKnown)
        ReleaseStart();
}

void CChromiumEngine::Navigate(const std::wstring& url, cef_transition_type_t transition)
{
    if (m_site.BeforeBrowse(m_site.MainFrameId(), url, transition)) {
        m_site.Record(m_site.EventLine("NavigationCancelled").Add("url", url));
        return;
    }
    // A Chromium that ended is replaced by the next navigation.
    if (!m_connection) {
        std::string error;
        if (!Connect(nullptr, &error)) {
            LogMessage(LOGSEVERITY_ERROR,
                       "Chromium engine: cannot restart " + ToUtf8(m_options.browser) + ": " + error);
            m_site.Record(m_site.EventLine("ChromiumFailed").Add("browser", m_options.browser).Add("reason", error));
            Disconnect();
            m_site.LoadError(m_site.MainFrameId(), ERR_FAILED, L"net::ERR_FAILED", url);
            return;
        }
        Resized();
    }
    m_pendingUrl = url;
    m_navigation.Requested();
    DropHistoryMoves();
    m_questions.Reloading(transition == TT_RELOAD);
    Command("Page.navigate", {{"url", ToUtf8(ToChromiumUrl(url))}}, [this, url](const Json& answer) {
        const std::string error = Text(Member(answer, "result"), "errorText");
        // A failure that never reached the network (a malformed address) has no other report.
        if (!error.empty() && !m_navigation.FailureReported() && !m_navigation.Loading()) {
            m_site.LoadingStateChange(true, CanGoBack(), CanGoForward());
            m_site.LoadError(m_site.MainFrameId(), ErrorCodeOf(error), FromUtf8(error), url);
            m_site.LoadingStateChange(false, CanGoBack(), CanGoForward());
        }
    });
}

void CChromiumEngine::LoadURL(int64_t frameId, const std::wstring& url)
{
    if (frameId == m_site.MainFrameId()) {
        Navigate(url, TT_EXPLICIT);
        return;
    }
    ExecuteJavaScript(frameId, L"location.href = " + FromUtf8(Json(ToUtf8(url)).dump()) + L";", std::wstring(), 1);
}

void CChromiumEngine::MoveInHistory(int offset)
{
    if (!m_page)
        return;
    m_historyMoves.push_back(offset);
    if (m_historyMoves.size() == 1)
        NextHistoryMove();
}

// The history known from the last load is stale while a move is under way. Chromium counts a
// move it has taken but not yet loaded as the current entry, so each move asks afresh once the
// one before it has been taken and starts where that one goes, as CEF's moves do. While a
// document commits, Chromium briefly has no active page to answer either command: the move is
// then asked again when the page next navigates or stops loading.
void CChromiumEngine::NextHistoryMove()
{
    m_historyMoveWaits = false;
    if (m_historyMoves.empty())
        return;
    const int round = m_historyRound;
    m_page->Call("Page.getNavigationHistory", Json::object(), [this, round](const CDevToolsAnswer& history) {
        std::vector<int> ids;
        int index = -1;
        if (round != m_historyRound)
            return;
        if (!HistoryOf(history, &ids, &index)) {
            m_historyMoveWaits = true;
            return;
        }
        const int target = index + m_historyMoves.front();
        if (target < 0 || target >= static_cast<int>(ids.size())) {
            m_historyMoves.pop_front();
            NextHistoryMove();
            return;
        }
        m_questions.Reloading(false);
        Command("Page.navigateToHistoryEntry", {{"entryId", ids[static_cast<size_t>(target)]}},
                [this, round](const Json& answer) {
                    if (round != m_historyRound)
                        return;
                    if (!answer.contains("result")) {
                        m_historyMoveWaits = true;
                        return;
                    }
                    m_historyMoves.pop_front();
                    NextHistoryMove();
                });
    });
}

// A later navigation takes the place of moves not yet taken, as it would in CEF.
void CChromiumEngine::DropHistoryMoves()
{
    m_historyMoves.clear();
    m_historyMoveWaits = false;
    ++m_historyRound;
}

void CChromiumEngine::GoBack()
{
    MoveInHistory(-1);
}

void CChromiumEngine::GoForward()
{
    MoveInHistory(1);
}

void CChromiumEngine::Reload()
{
    if (!m_connection) {
        if (!m_url.empty())
            Navigate(m_url, TT_RELOAD);
        return;
    }
    DropHistoryMoves();
    m_questions.Reloading(true);
    Command("Page.reload", Json::object());
}

void CChromiumEngine::StopLoad()
{
    DropHistoryMoves();
    Command("Page.stopLoading", Json::object());
}

void CChromiumEngine::ExecuteJavaScript(int64_t frameId, const std::wstring& code, const std::wstring& scriptUrl, int)
{
    Json params = {{"expression", ToUtf8(code) + (scriptUrl.empty() ? "" : "\n//# sourceURL=" + ToUtf8(scriptUrl))}};
    if (frameId == m_site.MainFrameId()) {
        Command("Runtime.evaluate", params);
        return;
    }
    const CScriptContext context = m_frames.ContextOf(m_frames.DevToolsFrameOf(frameId));
    if (context.id == 0)
        return;
    params["contextId"] = context.id;
    CommandOn(context.session, "Runtime.evaluate", params, nullptr);
}

// --- UI thread: input -----------------------------------------------------------------------

void CChromiumEngine::MouseMove(const CefMouseEvent& event, bool mouseLeave)
{
    Command("Input.dispatchMouseEvent", MouseMoveParams(event, mouseLeave));
    if (!mouseLeave)
        AskCursor(event.x, event.y);
}

void CChromiumEngine::AskCursor(int x, int y)
{
    // DevTools reports no cursor changes: the page is asked what lies under the pointer.
    const std::string expression = "(() => { const e = document.elementFromPoint(" + std::to_string(x) + ", " +
                                   std::to_string(y) + "); return e ? getComputedStyle(e).cursor : 'auto'; })()";
    Command("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}}, [this](const Json& answer) {
        const cef_cursor_type_t cursor = CursorOf(Text(Member(Member(answer, "result"), "result"), "value"));
        if (cursor == m_cursor)
            return;
        m_cursor = cursor;
        m_site.CursorChange(cursor);
    });
}

void CChromiumEngine::MouseClick(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp,
                                 int clickCount)
{
    Command("Input.dispatchMouseEvent", MouseClickParams(event, button, mouseUp, clickCount));
}

void CChromiumEngine::MouseWheel(const CefMouseEvent& event, int deltaX, int deltaY)
{
    Command("Input.dispatchMouseEvent", MouseWheelParams(event, deltaX, deltaY));
}

void CChromiumEngine::Key(const CefKeyEvent& event)
{
    Command("Input.dispatchKeyEvent", KeyParams(event));
}

void CChromiumEngine::Focus(bool focused)
{
    Command("Emulation.setFocusEmulationEnabled", {{"enabled", focused}});
}

// --- Control requests -----------------------------------------------------------------------

bool CChromiumEngine::HandleControl(const std::vector<std::string>& tokens, Reply reply)
{
    if (tokens[0] == "chromium") {
        if (!m_process)
            reply("ok running=0");
        else {
            size_t toPage = 0;
            size_t toFrontEnd = 0;
            {
                std::lock_guard<std::mutex> lock(m_toolsMutex);
                if (m_tools)
                    m_tools->Relayed(&toPage, &toFrontEnd);
            }
            reply("ok running=1 pid=" + m_process->Pid() + " profile=" + EncodeText(m_process->Profile()) +
                  " sandbox=" + EncodeText(m_process->Sandbox()) + " tools_to_page=" + std::to_string(toPage) +
                  " tools_to_front_end=" + std::to_string(toFrontEnd) + " frames_taken=" +
                  std::to_string(m_screencast.Taken()) + " frames_shown=" + std::to_string(m_screencast.Shown()));
        }
        return true;
    }
    if (tokens[0] == "state") {
        reply("ok url=" + EncodeText(m_url) + " title=" + EncodeText(m_title) +
              " can_go_back=" + (CanGoBack() ? "1" : "0") + " can_go_forward=" + (CanGoForward() ? "1" : "0") +
              " frames=" + std::to_string(m_frames.Count()));
        return true;
    }
    return false;
}

} // namespace cefcompat
