// Chromium's own developer tools for the browser's page: the front-end Chromium carries inside
// itself (devtools://devtools/bundled/), opened as a second page target of the same Chromium,
// screencast into the tools' window and driven by that window's mouse and keys. The target
// closes when this object goes. UI thread, but for TakeFrame and TakeMessage.
//
// Chromium opens no port, so the front-end reaches the page through this object: a script
// given to the front-end before its own replaces the WebSocket it opens with one whose
// messages go out through a binding (Runtime.bindingCalled) and come back through
// Runtime.evaluate. This object relays them to a session of its own on the page's target, and
// the page's answers and events back. Nothing listens anywhere; the binding's and the
// receiver's names carry a random token, and the script serves only a devtools: document.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "engines/chromium_screencast.h"
#include "engines/page_engine.h"

namespace cefcompat {

class CChromiumTools : public IPageTools {
public:
    using Json = nlohmann::json;
    using AnswerFn = std::function<void(const Json& answer)>;
    // Sends a command on |session|, or to the browser itself when it is empty. UI thread.
    using SendFn =
        std::function<void(const std::string& session, const std::string& method, Json params, AnswerFn onAnswer)>;
    // Sends a command on |session| straight through the connection and returns its id; its
    // answer comes to TakeMessage. Any thread.
    using RawSendFn = std::function<int(const std::string& session, const std::string& method, Json params)>;

    // |onGone| runs first when this object goes.
    CChromiumTools(IToolsWindow& window, SendFn send, RawSendFn rawSend, CScreencast::PostFn post,
                   std::function<void()> onGone);
    ~CChromiumTools() OVERRIDE;
    CChromiumTools(const CChromiumTools&) = delete;
    CChromiumTools& operator=(const CChromiumTools&) = delete;

    // The front-end's address, which the new target has when Chromium announces it.
    const std::string& Url() const { return m_url; }
    // Opens the front-end in a new target, for the page target |pageTarget|.
    void Open(const std::string& pageTarget);
    // Chromium ended: the tools can no longer be shown.
    void Ended() { m_window.ToolsEnded(); }
    // Messages relayed from the front-end to the page, and back, so far. Any thread.
    void Relayed(size_t* toPage, size_t* toFrontEnd);

    // Connection thread: true when |session| is the tools' own, and the frame was taken.
    bool TakeFrame(const std::string& session, Json& params);
    // Connection thread: true when |message| belongs to the tools (their own session, or the
    // front-end's on the page) and was taken.
    bool TakeMessage(Json& message);

    void Resized() OVERRIDE;
    void MouseMove(const CefMouseEvent& event, bool mouseLeave) OVERRIDE;
    void MouseClick(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp, int clickCount) OVERRIDE;
    void MouseWheel(const CefMouseEvent& event, int deltaX, int deltaY) OVERRIDE;
    void Key(const CefKeyEvent& event) OVERRIDE;

private:
    void AttachRelay(const std::string& toolsTarget, const std::string& pageTarget);
    void Attached(const std::string& session, const std::string& relaySession);
    // A command on the tools' session; nothing before it is attached.
    void Command(const std::string& method, Json params, AnswerFn onAnswer = nullptr);
    // Connection thread, with m_sessionMutex held.
    void FromFrontEnd(const Json& params);
    void ToFrontEnd(Json& message);

    IToolsWindow& m_window;
    const SendFn m_send;
    const RawSendFn m_rawSend;
    const std::function<void()> m_onGone;
    const std::string m_token;
    const std::string m_url;
    std::shared_ptr<bool> m_alive; // answers that come after this object are its target's end
    std::string m_target;
    std::mutex m_sessionMutex; // the connection thread reads the sessions and the relay's state
    std::string m_session;
    std::string m_relaySession; // the front-end's session on the page
    std::set<std::string> m_frontEndSessions; // the relay's and those the front-end attached to
    std::map<int, int> m_frontEndIds; // our id of a relayed command -> the front-end's
    size_t m_toPage = 0;
    size_t m_toFrontEnd = 0;
    CScreencast m_screencast;
};

} // namespace cefcompat
