// What decides the page: an engine behind each browser. The runtime owns the browser, its
// frames, the client's hooks, the render process and the threads; the engine decides what
// navigation, input and script do and what the page looks like, and tells the runtime
// through IPageSite. Everything here runs on the UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "include/cef_base.h"
#include "runtime/callbacks.h"
#include "runtime/script_value.h"
#include "runtime/text.h"

namespace cefcompat {

class CChromiumLaunch;

// How a call of an extension's native function ended, as the render process reported it.
struct CNativeCallResult {
    bool delivered = false; // false: no render process answered
    uint8_t outcome = 0; // CNativeOutcome
    std::wstring exception;
    CScriptValue retval;
};

// An extension the render process registered: its name and script.
struct CExtensionSource {
    std::wstring name;
    std::wstring code;
};

class IPageSite {
public:
    // Frames. The main frame exists for the browser's whole life.
    virtual int64_t MainFrameId() = 0;
    virtual int64_t CreateSubFrame(const std::wstring& name) = 0;
    // A new document in the main frame: the old sub-frames become invalid (|frameId| 0), or one
    // sub-frame left its document.
    virtual void DetachSubFrames(int64_t frameId = 0) = 0;

    // Navigation hooks, called in the order a navigation reaches them.
    // True when the client cancelled the navigation.
    virtual bool BeforeBrowse(int64_t frameId, const std::wstring& url, cef_transition_type_t transition) = 0;
    virtual void HistoryChanged(bool canGoBack, bool canGoForward) = 0;
    virtual void LoadingStateChange(bool isLoading, bool canGoBack, bool canGoForward) = 0;
    virtual void AddressChange(int64_t frameId, const std::wstring& url) = 0;
    virtual void LoadStart(int64_t frameId) = 0;
    virtual void TitleChange(const std::wstring& title) = 0;
    virtual void LoadEnd(int64_t frameId, int httpStatusCode) = 0;
    virtual void LoadError(int64_t frameId, int errorCode, const std::wstring& errorText,
                           const std::wstring& failedUrl) = 0;
    // A URL whose scheme the engine does not load.
    virtual void ProtocolExecution(const std::wstring& url) = 0;
    virtual void ConsoleMessage(const std::wstring& message, const std::wstring& source, int line) = 0;

    // Painting. The view's size comes from the client (windowless) or the window.
    virtual bool ViewSize(int* width, int* height) = 0;
    virtual void Paint(cef_paint_element_type_t type, const std::vector<CefRect>& dirty, const void* bgra, int width,
                       int height) = 0;
    virtual void PopupShow(bool show) = 0;
    virtual void PopupSize(const CefRect& rect) = 0;
    virtual void CursorChange(cef_cursor_type_t type) = 0;

    // Questions for the client; each answer (or its absence) reaches |onAnswer| later.
    virtual void RunJSDialog(cef_jsdialog_type_t type, const std::wstring& message, const std::wstring& defaultPrompt,
                             CAnswerFn onAnswer) = 0;
    // The page asks before it is left; unanswered by the client, the default leaves it (accepted).
    virtual void RunBeforeUnloadDialog(const std::wstring& message, bool isReload, CAnswerFn onAnswer) = 0;
    virtual void RunFileDialog(int mode, const std::wstring& title, const std::wstring& defaultPath,
                               const std::vector<std::wstring>& filters, CAnswerFn onAnswer) = 0;
    virtual void BeforeDownload(const std::wstring& url, const std::wstring& suggestedName,
                                const std::wstring& mimeType, CAnswerFn onAnswer) = 0;
    virtual void CertificateError(int errorCode, const std::wstring& url, CAnswerFn onAnswer) = 0;
    // True when the client refused the popup; otherwise the runtime opens it.
    virtual bool BeforePopup(int64_t frameId, const std::wstring& url, const std::wstring& frameName) = 0;

    // Journal lines about the page: EventLine starts "event <name> browser=<id>", the engine
    // adds its fields and hands it to Record.
    virtual CLine EventLine(const char* name) = 0;
    virtual void Record(const CLine& line) = 0;

    // Runs |task| later on the UI thread, unless the browser has closed by then. Any thread.
    virtual void PostTask(std::function<void()> task) = 0;
    // The process that renders the page ended: OnRenderProcessTerminated.
    virtual void RenderProcessTerminated(cef_termination_status_t status) = 0;

    // Page script calling an extension's native function in the render process.
    virtual void CallNative(int64_t frameId, const std::wstring& name, const std::vector<CScriptValue>& arguments,
                            std::function<void(const CNativeCallResult&)> onResult) = 0;

protected:
    ~IPageSite() = default;
};

// Mouse and keys for a page.
class IPageInput {
public:
    virtual void MouseMove(const CefMouseEvent& event, bool mouseLeave) = 0;
    virtual void MouseClick(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp,
                            int clickCount) = 0;
    virtual void MouseWheel(const CefMouseEvent& event, int deltaX, int deltaY) = 0;
    virtual void Key(const CefKeyEvent& event) = 0;

protected:
    ~IPageInput() = default;
};

// The developer tools' window, as an engine that draws the tools itself sees it.
class IToolsWindow {
public:
    virtual bool ToolsViewSize(int* width, int* height) = 0;
    virtual void ShowTools(const void* bgra, int width, int height) = 0;
    // The tools can no longer be shown (the engine's browser process ended).
    virtual void ToolsEnded() = 0;

protected:
    ~IToolsWindow() = default;
};

// Developer tools an engine draws into their window, with the window's input; they close when
// this object goes.
class IPageTools : public IPageInput {
public:
    virtual ~IPageTools() = default;
    // The window's client area changed.
    virtual void Resized() = 0;
};

class IPageEngine : public IPageInput {
public:
    using Reply = std::function<void(const std::string&)>;

    virtual ~IPageEngine() = default;

    virtual void Start(const std::wstring& url) = 0;
    virtual void LoadURL(int64_t frameId, const std::wstring& url) = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Reload() = 0;
    virtual void StopLoad() = 0;
    virtual void ExecuteJavaScript(int64_t frameId, const std::wstring& code, const std::wstring& scriptUrl,
                                   int startLine) = 0;

    virtual void Focus(bool focused) = 0;
    virtual void CaptureLost() = 0;

    virtual void Resized() = 0;
    virtual void Hidden(bool hidden) = 0;
    virtual void Invalidate(cef_paint_element_type_t type) = 0;
    virtual void RendererGone() = 0;
    // The render process has registered its extensions (none when it could not start).
    virtual void ExtensionsReady(const std::vector<CExtensionSource>&) {}
    // The engine's own developer tools for the page, drawn into |window| until the result goes;
    // null when the engine has none (the runtime shows a picture of its own).
    virtual std::unique_ptr<IPageTools> OpenTools(IToolsWindow&) { return nullptr; }

    // A control request (tokens of one line). Returns false when the verb is not the engine's;
    // otherwise |reply| is called once, now or later.
    virtual bool HandleControl(const std::vector<std::string>& tokens, Reply reply) = 0;
};

// The engine for a new browser, with what the page needs brought up before the browser is
// reported created: the Chromium engine (--cefcompat-browser=PATH on the browser process's
// command line names the program, --cefcompat-frames=png asks for lossless frames), or the
// scripted engine with --cefcompat-engine=scripted. When the browser cannot be used, the
// scripted engine shows a page that says why, and the log and the journal (NoBrowser notice)
// say the same. The Chromium engine takes the browser |early| started, when there is one.
std::unique_ptr<IPageEngine> LaunchPageEngine(IPageSite& site, std::unique_ptr<CChromiumLaunch> early);

// The browser the Chromium engine will need, started now: Chromium takes seconds to come up,
// and that can pass while the application sets itself up. Null for the scripted engine.
std::unique_ptr<CChromiumLaunch> StartEngineBrowser();

} // namespace cefcompat
