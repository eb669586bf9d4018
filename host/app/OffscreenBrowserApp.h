#pragma once

// The CEF application object, one per process: reads the add-in's switches, registers the
// crash broadcast, passes the switches on to sub-processes and, in the browser process,
// creates the browser window once CEF is ready.

#include "include/cef_app.h"

#include <windows.h>

class COffscreenBrowserWindow;

class COffscreenBrowserApp : public CefApp, public CefBrowserProcessHandler, public CefRenderProcessHandler {
public:
    explicit COffscreenBrowserApp(HINSTANCE instance);
    ~COffscreenBrowserApp() override;

    // CefApp
    void OnBeforeCommandLineProcessing(const CefString& processType, CefRefPtr<CefCommandLine> commandLine) override;
    CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
    CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }

    // CefBrowserProcessHandler
    void OnContextInitialized() override;
    void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> commandLine) override;

    // CefRenderProcessHandler
    void OnWebKitInitialized() override;

private:
    HINSTANCE m_hInstance;
    // Counted: the window must outlive its own start-up even if CEF never takes it as a
    // client (browser creation failing), and it lives until the entry releases this object.
    CefRefPtr<COffscreenBrowserWindow> m_window;
    int m_parentPid = 0;
    int m_instanceIndex = -1;
    CefString m_startUrl;

    IMPLEMENT_REFCOUNTING(COffscreenBrowserApp)
};
