#include "engines/chromium_tools.h"

#include <windows.h>

#include <ntsecapi.h>

#include <cstdio>

#include "engines/chromium_input.h"
#include "engines/devtools_json.h"

namespace cefcompat {
namespace {

// The tools change little at a time: one thread decodes their frames.
constexpr unsigned kDecodingThreads = 1;
// Commands of the front-end not answered yet; more are a front-end gone wrong, and dropped.
constexpr size_t kMaxRelayedCommands = 4096;
// Sessions the front-end attached to beside the page's (workers, frames of other processes).
constexpr size_t kMaxFrontEndSessions = 256;

const char kBindingPrefix[] = "__cefcompatToolsSend";
const char kReceiverPrefix[] = "__cefcompatToolsReceive";

// 128 random bits in hex; empty when the system gives none.
std::string RandomToken()
{
    unsigned char bytes[16] = {};
    if (!RtlGenRandom(bytes, sizeof(bytes)))
        return std::string();
    std::string token;
    char hex[3];
    for (unsigned char byte : bytes) {
        std::snprintf(hex, sizeof(hex), "%02x", byte);
        token += hex;
    }
    return token;
}

// Runs in every document of the tools' target before its own script. In the front-end only, a
// WebSocket to the relay's address is one whose messages go through the binding, which no
// other script of the document can reach afterwards.
std::string RelayScript(const std::string& token)
{
    return "(() => { const send = globalThis." + std::string(kBindingPrefix) + token + "; delete globalThis." +
           kBindingPrefix + token +
           "; if (location.protocol !== 'devtools:' || !send) return; const Real = WebSocket; "
           "window.WebSocket = function (url) { if (!String(url).includes('" +
           token +
           "')) return new Real(url); const socket = this; socket.readyState = 0; "
           "socket.send = (m) => send(String(m)); socket.close = () => { socket.readyState = 3; }; "
           "globalThis." +
           kReceiverPrefix + token +
           " = (m) => { if (socket.onmessage) socket.onmessage({data: m}); }; "
           "setTimeout(() => { socket.readyState = 1; if (socket.onopen) socket.onopen({}); }, 0); }; })();";
}

} // namespace

CChromiumTools::CChromiumTools(IToolsWindow& window, SendFn send, RawSendFn rawSend, CScreencast::PostFn post,
                               std::function<void()> onGone)
    : m_window(window),
      m_send(std::move(send)),
      m_rawSend(std::move(rawSend)),
      m_onGone(std::move(onGone)),
      m_token(RandomToken()),
      // The front-end without the page's own screencast beside it (that is inspector.html), as
      // in Chromium's own tools window. Before the relay's script is in place its WebSocket
      // goes to a port nothing can listen on.
      m_url("devtools://devtools/bundled/devtools_app.html?ws=127.0.0.1:0/" + m_token),
      m_alive(std::make_shared<bool>(true)),
      m_screencast(
          false, kDecodingThreads,
          [this](const std::string& method, Json params) { Command(method, std::move(params)); }, std::move(post),
          [this](const void* bgra, int width, int height) { m_window.ShowTools(bgra, width, height); })
{
}

CChromiumTools::~CChromiumTools()
{
    m_onGone();
    if (!m_target.empty())
        m_send(std::string(), "Target.closeTarget", {{"targetId", m_target}}, nullptr);
    std::lock_guard<std::mutex> lock(m_sessionMutex);
    if (!m_relaySession.empty())
        m_send(std::string(), "Target.detachFromTarget", {{"sessionId", m_relaySession}}, nullptr);
}

void CChromiumTools::Open(const std::string& pageTarget)
{
    if (m_token.empty())
        return;
    std::weak_ptr<bool> alive = m_alive;
    const SendFn send = m_send;
    m_send(std::string(), "Target.createTarget", {{"url", m_url}}, [this, alive, send, pageTarget](const Json& answer) {
        const std::string target = Text(Member(answer, "result"), "targetId");
        if (target.empty())
            return;
        if (!alive.lock()) {
            send(std::string(), "Target.closeTarget", {{"targetId", target}}, nullptr);
            return;
        }
        m_target = target;
        AttachRelay(target, pageTarget);
    });
}

void CChromiumTools::AttachRelay(const std::string& toolsTarget, const std::string& pageTarget)
{
    std::weak_ptr<bool> alive = m_alive;
    const SendFn send = m_send;
    m_send(std::string(), "Target.attachToTarget", {{"targetId", pageTarget}, {"flatten", true}},
           [this, alive, send, toolsTarget](const Json& relay) {
               const std::string relaySession = Text(Member(relay, "result"), "sessionId");
               if (!alive.lock()) {
                   if (!relaySession.empty())
                       send(std::string(), "Target.detachFromTarget", {{"sessionId", relaySession}}, nullptr);
                   return;
               }
               m_send(std::string(), "Target.attachToTarget", {{"targetId", toolsTarget}, {"flatten", true}},
                      [this, alive, relaySession](const Json& attached) {
                          if (alive.lock())
                              Attached(Text(Member(attached, "result"), "sessionId"), relaySession);
                      });
           });
}

void CChromiumTools::Attached(const std::string& session, const std::string& relaySession)
{
    if (session.empty() || relaySession.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(m_sessionMutex);
        m_session = session;
        m_relaySession = relaySession;
        m_frontEndSessions = {relaySession};
    }
    // A new document runs the scripts given to it only while the Page domain is on, and gets
    // the binding only while the Runtime domain is.
    Command("Page.enable", Json::object());
    Command("Runtime.enable", Json::object());
    Command("Runtime.addBinding", {{"name", kBindingPrefix + m_token}});
    // The front-end loaded before the relay's script was in place: once more, with it. Not
    // before the script's answer: the browser process starts a navigation at once, and its
    // document could reach the renderer before the commands sent ahead of it.
    std::weak_ptr<bool> alive = m_alive;
    Command("Page.addScriptToEvaluateOnNewDocument", {{"source", RelayScript(m_token)}}, [this, alive](const Json&) {
        if (alive.lock())
            Command("Page.navigate", {{"url", m_url}});
    });
    // Keys reach the focused element only in a page that has the focus.
    Command("Emulation.setFocusEmulationEnabled", {{"enabled", true}});
    Resized();
}

void CChromiumTools::Relayed(size_t* toPage, size_t* toFrontEnd)
{
    std::lock_guard<std::mutex> lock(m_sessionMutex);
    *toPage = m_toPage;
    *toFrontEnd = m_toFrontEnd;
}

bool CChromiumTools::TakeMessage(Json& message)
{
    const std::string session = Text(message, "sessionId");
    std::lock_guard<std::mutex> lock(m_sessionMutex);
    if (session.empty())
        return false;
    if (session == m_session) {
        // Answers go on to the engine, which hands them to the commands that wait for them.
        if (message.contains("id"))
            return false;
        const Json& params = Member(message, "params");
        if (Text(message, "method") == "Runtime.bindingCalled" && Text(params, "name") == kBindingPrefix + m_token)
            FromFrontEnd(params);
        return true;
    }
    if (m_frontEndSessions.count(session) == 0)
        return false;
    ToFrontEnd(message);
    return true;
}

void CChromiumTools::FromFrontEnd(const Json& params)
{
    const Json command = Json::parse(Text(params, "payload"), nullptr, false);
    const auto id = command.is_object() ? command.find("id") : command.end();
    const std::string method = Text(command, "method");
    const std::string session =
        command.is_object() && command.contains("sessionId") ? Text(command, "sessionId") : m_relaySession;
    // The front-end speaks only for its own sessions.
    if (id == command.end() || !id->is_number_integer() || method.empty() || m_frontEndSessions.count(session) == 0 ||
        m_frontEndIds.size() >= kMaxRelayedCommands) {
        return;
    }
    const Json& commandParams = Member(command, "params");
    const int relayed = m_rawSend(session, method, commandParams.is_object() ? commandParams : Json::object());
    m_frontEndIds[relayed] = id->get<int>();
    ++m_toPage;
}

void CChromiumTools::ToFrontEnd(Json& message)
{
    const auto id = message.find("id");
    if (id != message.end()) {
        const auto frontEndId = id->is_number_integer() ? m_frontEndIds.find(id->get<int>()) : m_frontEndIds.end();
        if (frontEndId == m_frontEndIds.end())
            return;
        *id = frontEndId->second;
        m_frontEndIds.erase(frontEndId);
    }
    const std::string method = Text(message, "method");
    if (method == "Target.attachedToTarget" && m_frontEndSessions.size() < kMaxFrontEndSessions)
        m_frontEndSessions.insert(Text(Member(message, "params"), "sessionId"));
    else if (method == "Target.detachedFromTarget" && Text(Member(message, "params"), "sessionId") != m_relaySession)
        m_frontEndSessions.erase(Text(Member(message, "params"), "sessionId"));
    // The front-end's connection is to the page itself: its own session has no name.
    if (Text(message, "sessionId") == m_relaySession)
        message.erase("sessionId");
    // Text Chromium sent is valid UTF-8; should it not be, a bad byte must not end the connection.
    const auto replace = Json::error_handler_t::replace;
    const std::string expression = kReceiverPrefix + m_token + "(" +
                                   Json(message.dump(-1, ' ', false, replace)).dump(-1, ' ', false, replace) + ")";
    m_rawSend(m_session, "Runtime.evaluate", {{"expression", expression}});
    ++m_toFrontEnd;
}

bool CChromiumTools::TakeFrame(const std::string& session, Json& params)
{
    {
        std::lock_guard<std::mutex> lock(m_sessionMutex);
        if (session.empty() || session != m_session)
            return false;
    }
    m_screencast.Take(params);
    return true;
}

void CChromiumTools::Command(const std::string& method, Json params, AnswerFn onAnswer)
{
    std::string session;
    {
        std::lock_guard<std::mutex> lock(m_sessionMutex);
        session = m_session;
    }
    if (!session.empty())
        m_send(session, method, std::move(params), std::move(onAnswer));
}

void CChromiumTools::Resized()
{
    int width = 0;
    int height = 0;
    if (!m_window.ToolsViewSize(&width, &height) || width <= 0 || height <= 0)
        return;
    m_screencast.SetSize(width, height);
    // Before the target is attached this only keeps the size; Attached applies it.
    m_screencast.ApplySize(false);
}

void CChromiumTools::MouseMove(const CefMouseEvent& event, bool mouseLeave)
{
    Command("Input.dispatchMouseEvent", MouseMoveParams(event, mouseLeave));
}

void CChromiumTools::MouseClick(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp,
                                int clickCount)
{
    Command("Input.dispatchMouseEvent", MouseClickParams(event, button, mouseUp, clickCount));
}

void CChromiumTools::MouseWheel(const CefMouseEvent& event, int deltaX, int deltaY)
{
    Command("Input.dispatchMouseEvent", MouseWheelParams(event, deltaX, deltaY));
}

void CChromiumTools::Key(const CefKeyEvent& event)
{
    Command("Input.dispatchKeyEvent", KeyParams(event));
}

} // namespace cefcompat
