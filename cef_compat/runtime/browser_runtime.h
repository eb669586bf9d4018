// The browser process's runtime between CefInitialize and CefShutdown: settings, the
// application object, the UI thread's task queue, the journal, the browsers and the control
// pipe. Browsers and callbacks hold it by shared pointer, so calls that arrive after shutdown
// find a closed queue instead of freed memory.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "engines/chromium_process.h"
#include "runtime/command_line.h"
#include "runtime/control_server.h"
#include "runtime/journal.h"
#include "runtime/task_queue.h"
#include "runtime/text.h"

namespace cefcompat {

class CBrowserImpl;

// What an asynchronous browser creation needs, kept while browsers are held back.
struct CBrowserRequest {
    CefWindowInfo windowInfo;
    CefRefPtr<CefClient> client;
    std::wstring url;
    CefBrowserSettings settings;
    bool isPopup = false;
};

class CBrowserRuntime : public std::enable_shared_from_this<CBrowserRuntime>, public CControlServer::IHandler {
public:
    // Null before CefInitialize and after CefShutdown.
    static std::shared_ptr<CBrowserRuntime> Current();
    static bool Initialize(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> application);
    // UI thread.
    static void Shutdown();

    CBrowserRuntime(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> app);
    ~CBrowserRuntime();

    // Any thread.
    uint64_t Record(const CLine& line) { return m_journal.Append(line.Text()); }
    bool PostUi(CTaskQueue::Task task) { return m_ui->Post(std::move(task)); }
    bool PostUiDelayed(CTaskQueue::Task task, int64_t delayMs) { return m_ui->PostDelayed(std::move(task), delayMs); }
    bool OnUiThread() const { return m_ui->IsCurrentThread(); }
    int NextId() { return ++m_lastId; }

    CefRefPtr<CefApp> App() const { return m_app; }
    CefRefPtr<CefBrowserProcessHandler> BrowserProcessHandler() const;
    const CefSettings& Settings() const { return m_settings; }
    HINSTANCE Instance() const { return m_instance; }
    // The program that sub-processes run, and the switches they inherit.
    std::wstring SubprocessPath() const;
    void AddInheritedSwitches(CCommandLineImpl* child) const;

    // Any thread: the browser is created later on the UI thread, or, while browsers are held
    // (CEFCOMPAT_HOLD_BROWSERS=1), kept back until the control request release-browsers.
    bool CreateBrowserAsync(CBrowserRequest request);

    // UI thread.
    void AddBrowser(CefRefPtr<CBrowserImpl> browser);
    void RemoveBrowser(int id);
    // The oldest open browser: the one control requests address.
    CefRefPtr<CBrowserImpl> TargetBrowser() const;
    // The engine's browser started with the runtime, for the first browser that asks.
    std::unique_ptr<CChromiumLaunch> TakeEarlyBrowser() { return std::move(m_earlyBrowser); }

    // Control requests, on the control pipe's session threads.
    void HandleRequest(const std::string& line, CControlServer::Reply reply) OVERRIDE;
    void AnswerSent(const std::string& line) OVERRIDE;

private:
    void Start();
    void Stop();
    void HandleOnUi(const std::vector<std::string>& tokens, CControlServer::Reply reply);
    void CreateOrHold(const CBrowserRequest& request);
    void CreateNow(const CBrowserRequest& request);
    void ReleaseHeldBrowsers(const CControlServer::Reply& reply);
    void DropHeldBrowsers();
    void HandleJournalRequest(const std::vector<std::string>& tokens, const CControlServer::Reply& reply);

    const HINSTANCE m_instance;
    const CefSettings m_settings;
    CefRefPtr<CefApp> m_app;
    CefRefPtr<CCommandLineImpl> m_commandLine;
    CJournal m_journal;
    std::unique_ptr<CTaskQueue> m_ui;
    std::unique_ptr<CControlServer> m_control;
    std::unique_ptr<CChromiumLaunch> m_earlyBrowser; // UI thread
    std::atomic<int> m_lastId{0};
    // Lets tests reach what happens before a browser exists (a close before OnAfterCreated).
    const bool m_holdBrowsers;
    std::map<int, CefRefPtr<CBrowserImpl>> m_browsers; // UI thread
    std::vector<CBrowserRequest> m_heldBrowsers; // UI thread
};

} // namespace cefcompat
