// The Chromium engine: real pages in a headless Chromium, driven over the DevTools protocol.
// Engine operations become DevTools commands; Page, Network, Runtime and Target events become
// the site's hooks, in the order CEF calls them. Screencast frames are acked on the connection's
// thread, decoded on threads of their own and reach the site's Paint on the UI thread in
// order, the oldest dropped only where decoding or the UI thread falls behind. The developer
// tools are a second page target of the same Chromium, with a screencast of their own.
// README.md has the table of which hook comes from which event.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engines/chromium_frames.h"
#include "engines/chromium_navigation.h"
#include "engines/chromium_process.h"
#include "engines/chromium_questions.h"
#include "engines/chromium_screencast.h"
#include "engines/chromium_tools.h"
#include "engines/devtools_connection.h"
#include "engines/devtools_session.h"
#include "engines/page_engine.h"

namespace cefcompat {

struct CChromiumOptions {
    std::wstring browser; // Linux path, or a Windows path Wine maps to one
    bool pngFrames = false;
};

class CChromiumEngine : public IPageEngine {
public:
    CChromiumEngine(IPageSite& site, CChromiumOptions options);
    ~CChromiumEngine() OVERRIDE;

    // Chromium's start on a busy machine, and an answer Launch waits for.
    static constexpr DWORD kStartTimeoutMs = 60000;

    // Brings Chromium up, the one |started| started if there is one; false with |error| set,
    // and said in the journal, when it cannot.
    bool Launch(std::unique_ptr<CChromiumLaunch> started, std::string* error);
    void Start(const std::wstring& url) OVERRIDE;
    void LoadURL(int64_t frameId, const std::wstring& url) OVERRIDE;
    void GoBack() OVERRIDE;
    void GoForward() OVERRIDE;
    void Reload() OVERRIDE;
    void StopLoad() OVERRIDE;
    void ExecuteJavaScript(int64_t frameId, const std::wstring& code, const std::wstring& scriptUrl,
                           int startLine) OVERRIDE;
    void MouseMove(const CefMouseEvent& event, bool mouseLeave) OVERRIDE;
    void MouseClick(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp, int clickCount) OVERRIDE;
    void MouseWheel(const CefMouseEvent& event, int deltaX, int deltaY) OVERRIDE;
    void Key(const CefKeyEvent& event) OVERRIDE;
    void Focus(bool focused) OVERRIDE;
    void CaptureLost() OVERRIDE {}
    void Resized() OVERRIDE;
    void Hidden(bool hidden) OVERRIDE;
    void Invalidate(cef_paint_element_type_t type) OVERRIDE;
    void RendererGone() OVERRIDE;
    void ExtensionsReady(const std::vector<CExtensionSource>& extensions) OVERRIDE;
    bool HandleControl(const std::vector<std::string>& tokens, Reply reply) OVERRIDE;
    std::unique_ptr<IPageTools> OpenTools(IToolsWindow& window) OVERRIDE;

private:
    using Json = nlohmann::json;
    using AnswerFn = std::function<void(const Json& answer)>;

    // Connection thread.
    void OnMessage(Json& message);
    void OnScreencastFrame(Json& message);

    // UI thread.
    bool Connect(std::unique_ptr<CChromiumLaunch> started, std::string* error);
    void Disconnect();
    void StartScreencast();
    // A command on the page's session, or to the browser itself when |toBrowser|; |onAnswer|
    // gets the answer as Chromium gave it, or an "error" of its own.
    void Command(const std::string& method, Json params, AnswerFn onAnswer = nullptr, bool toBrowser = false);
    // A command on |session|, or to the browser itself when it is empty.
    void CommandOn(const std::string& session, const std::string& method, Json params, AnswerFn onAnswer);
    std::unique_ptr<CDevToolsSession> NewSession(const std::string& id, CDevToolsSession::EventFn onEvent);
    // Every session open: the browser's, the page's, the developer tools' and the frames'.
    std::vector<CDevToolsSession*> Sessions() const;
    CDevToolsSession* SessionOf(const std::string& id) const;
    void Deliver(Json& message);
    void ExpireCalls();
    // An event of the page's session or of a frame's target's; |session| is a copy, as a frame's
    // session may go while its event runs.
    void OnPageEvent(std::string session, const std::string& method, const Json& params);
    std::vector<std::pair<std::string, Json>> FrameTargetCommands() const;
    void OnTargetAttached(const std::string& parent, const Json& params);
    void OnTargetDetached(const Json& params);
    void OnFrameNavigated(const Json& frame);
    void OnFrameStoppedLoading(const std::string& frameId);
    void EndLoad(const std::wstring& title, int httpStatus);
    void OnDocumentFailed(const Json& params);
    void OnConsole(const Json& params);
    void OnTitleReported(const std::wstring& title);
    void OnNativeCall(const CScriptContext& context, const std::string& payload);
    void InstallExtension(const CExtensionSource& extension);
    // The first navigation waits until the render process has named its extensions, so that
    // they exist before the page's own script runs.
    void ReleaseStart();
    void ReportTitle(const std::wstring& title);
    void OnChromiumGone(cef_termination_status_t status);
    void Show(const void* bgra, int width, int height);
    void Navigate(const std::wstring& url, cef_transition_type_t transition);
    void MoveInHistory(int offset);
    void NextHistoryMove();
    void DropHistoryMoves();
    // The entries of a Page.getNavigationHistory answer from the browser's first page on, and
    // the index of the current one; false when the answer has none.
    bool HistoryOf(const CDevToolsAnswer& answer, std::vector<int>* ids, int* index) const;
    // Applies the history; returns the current entry's title (empty when it has none).
    std::wstring ApplyHistory(const CDevToolsAnswer& answer);
    void AskCursor(int x, int y);
    bool CanGoBack() const { return m_historyIndex > 0; }
    bool CanGoForward() const { return m_historyIndex + 1 < m_historyCount; }

    IPageSite& m_site;
    const CChromiumOptions m_options;
    std::shared_ptr<bool> m_alive; // tasks posted to the UI thread run only while it exists

    CScreencast m_screencast;
    // The developer tools while they are open: written on the UI thread, read on the
    // connection thread, which hands them their frames.
    std::mutex m_toolsMutex;
    CChromiumTools* m_tools = nullptr;

    // What the connection's thread hands to the UI thread, and the deadlines of open calls.
    CDevToolsInbox m_inbox;
    CDeadlineTimer m_timer;

    // UI thread.
    std::unique_ptr<CChromiumProcess> m_process;
    std::unique_ptr<CDevToolsConnection> m_connection;
    std::unique_ptr<CDevToolsSession> m_browser; // the browser itself: targets, downloads
    std::unique_ptr<CDevToolsSession> m_page; // the browser's page
    std::unique_ptr<CDevToolsSession> m_toolsSession; // the developer tools' page, once attached
    // The targets of the page's frames from other sites, by session id.
    std::map<std::string, std::unique_ptr<CDevToolsSession>> m_frameSessions;
    std::string m_targetId;
    CChromiumQuestions m_questions;
    std::vector<CExtensionSource> m_extensions;
    bool m_extensionsKnown = false;
    bool m_startPending = false;
    std::wstring m_startUrl;
    bool m_hidden = false;
    cef_cursor_type_t m_cursor = CT_POINTER;
    CFrameRegistry m_frames;
    CNavigation m_navigation;
    int m_firstEntry = 0; // id of the first history entry this browser navigated to
    int m_historyCount = 0;
    int m_historyIndex = -1;
    std::deque<int> m_historyMoves; // offsets of GoBack and GoForward in call order; the first is under way
    int m_historyRound = 0; // answers of an earlier round of moves are ignored
    bool m_historyMoveWaits = false; // the first move waits for the page to be active again
    std::wstring m_pendingUrl;
    std::wstring m_url;
    std::wstring m_title;
};

} // namespace cefcompat
