#include "engines/chromium_tools.h"

#include "engines/chromium_input.h"
#include "engines/devtools_json.h"

namespace cefcompat {
namespace {

// The tools change little at a time: one thread decodes their frames.
constexpr unsigned kDecodingThreads = 1;

} // namespace

CChromiumTools::CChromiumTools(IToolsWindow& window, SendFn send, CScreencast::PostFn post,
                               std::function<void()> onGone)
    : m_window(window),
      m_send(std::move(send)),
      m_onGone(std::move(onGone)),
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
}

std::string CChromiumTools::FrontEndUrl(const CChromiumEndpoint& endpoint, const std::string& pageTarget)
{
    // The front-end without the page's own screencast beside it (that is inspector.html), as
    // in Chromium's own tools window; served by Chromium itself, from the same origin as the
    // WebSocket it opens, which Chromium accepts without further switches.
    const std::string server = endpoint.host + ":" + endpoint.port;
    return "http://" + server + "/devtools/devtools_app.html?ws=" + server + "/devtools/page/" + pageTarget;
}

void CChromiumTools::Open(const std::string& url)
{
    std::weak_ptr<bool> alive = m_alive;
    const SendFn send = m_send;
    m_send(std::string(), "Target.createTarget", {{"url", url}}, [this, alive, send](const Json& answer) {
        const std::string target = Text(Member(answer, "result"), "targetId");
        if (target.empty())
            return;
        if (!alive.lock()) {
            send(std::string(), "Target.closeTarget", {{"targetId", target}}, nullptr);
            return;
        }
        m_target = target;
        m_send(std::string(), "Target.attachToTarget", {{"targetId", target}, {"flatten", true}},
               [this, alive](const Json& attached) {
                   if (alive.lock())
                       Attached(Text(Member(attached, "result"), "sessionId"));
               });
    });
}

void CChromiumTools::Attached(const std::string& session)
{
    if (session.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(m_sessionMutex);
        m_session = session;
    }
    // Keys reach the focused element only in a page that has the focus.
    Command("Emulation.setFocusEmulationEnabled", {{"enabled", true}});
    Resized();
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

void CChromiumTools::Command(const std::string& method, Json params)
{
    std::string session;
    {
        std::lock_guard<std::mutex> lock(m_sessionMutex);
        session = m_session;
    }
    if (!session.empty())
        m_send(session, method, std::move(params), nullptr);
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
