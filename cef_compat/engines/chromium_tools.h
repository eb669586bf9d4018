// Chromium's own developer tools for the browser's page: the front-end that Chromium serves on
// its DevTools port, opened as a second page target of the same Chromium, screencast into the
// tools' window and driven by that window's mouse and keys. The target closes when this object
// goes. UI thread, but for TakeFrame.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "engines/chromium_process.h"
#include "engines/chromium_screencast.h"
#include "engines/page_engine.h"

namespace cefcompat {

class CChromiumTools : public IPageTools {
public:
    using Json = nlohmann::json;
    using AnswerFn = std::function<void(const Json& answer)>;
    // Sends a command on |session|, or to the browser itself when it is empty.
    using SendFn =
        std::function<void(const std::string& session, const std::string& method, Json params, AnswerFn onAnswer)>;

    // |onGone| runs first when this object goes.
    CChromiumTools(IToolsWindow& window, SendFn send, CScreencast::PostFn post, std::function<void()> onGone);
    ~CChromiumTools() OVERRIDE;
    CChromiumTools(const CChromiumTools&) = delete;
    CChromiumTools& operator=(const CChromiumTools&) = delete;

    // The front-end's address for the page target |pageTarget| of the Chromium at |endpoint|.
    static std::string FrontEndUrl(const CChromiumEndpoint& endpoint, const std::string& pageTarget);
    // Opens the front-end at |url| in a new target.
    void Open(const std::string& url);
    // Chromium ended: the tools can no longer be shown.
    void Ended() { m_window.ToolsEnded(); }

    // Connection thread: true when |session| is the tools' own, and the frame was taken.
    bool TakeFrame(const std::string& session, Json& params);

    void Resized() OVERRIDE;
    void MouseMove(const CefMouseEvent& event, bool mouseLeave) OVERRIDE;
    void MouseClick(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp, int clickCount) OVERRIDE;
    void MouseWheel(const CefMouseEvent& event, int deltaX, int deltaY) OVERRIDE;
    void Key(const CefKeyEvent& event) OVERRIDE;

private:
    void Attached(const std::string& session);
    // A command on the tools' session; nothing before it is attached.
    void Command(const std::string& method, Json params);

    IToolsWindow& m_window;
    const SendFn m_send;
    const std::function<void()> m_onGone;
    std::shared_ptr<bool> m_alive; // answers that come after this object are its target's end
    std::string m_target;
    std::mutex m_sessionMutex; // the connection thread reads the session
    std::string m_session;
    CScreencast m_screencast;
};

} // namespace cefcompat
