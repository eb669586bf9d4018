// The test client's application object: plays the browser process (creates one windowless
// browser) and the render process (registers an extension with two native functions and
// answers "Ping" messages).
#pragma once

#include <functional>
#include <string>

#include "include/cef_app.h"

class CClientHandler;

class CClientApp : public CefApp, public CefBrowserProcessHandler, public CefRenderProcessHandler {
public:
    // Called on the UI thread with the new browser's client once CEF is ready.
    using ContextReady = std::function<void()>;
    explicit CClientApp(ContextReady onContextReady) : m_onContextReady(std::move(onContextReady)) {}

    CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
    CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }

    // Browser process.
    void OnContextInitialized() override;
    void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) override;
    void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) override;

    // Render process.
    void OnRenderThreadCreated(CefRefPtr<CefListValue> extra_info) override;
    void OnWebKitInitialized() override;
    bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                  CefRefPtr<CefProcessMessage> message) override;

private:
    ContextReady m_onContextReady;
    std::wstring m_extraInfo; // render process: what the browser process sent along
    IMPLEMENT_REFCOUNTING(CClientApp)
};
