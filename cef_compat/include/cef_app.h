// Process start-up, the message loop and shutdown, and the application object.
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser_process_handler.h"
#include "include/cef_command_line.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_resource_bundle_handler.h"
#include "include/cef_scheme.h"

class CefApp;

// In the browser process returns -1 at once. With --type= on the command line this process
// is a sub-process: its role runs to its end and its exit code is returned.
int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application, void* windows_sandbox_info);

// Browser process, main thread (which becomes the UI thread).
bool CefInitialize(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> application,
                   void* windows_sandbox_info);
// UI thread, after the message loop has returned.
void CefShutdown();
// Runs the pending work once, without waiting.
void CefDoMessageLoopWork();
// A Win32 message loop on the UI thread; returns after CefQuitMessageLoop.
void CefRunMessageLoop();
// May be called from any thread.
void CefQuitMessageLoop();
void CefSetOSModalLoop(bool osModalLoop);

class CefApp : public virtual CefBase {
public:
    // In every process, before the command line is acted on. |process_type| is empty in the
    // browser process.
    virtual void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> command_line) {}
    virtual void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) {}
    virtual CefRefPtr<CefResourceBundleHandler> GetResourceBundleHandler() { return nullptr; }
    virtual CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() { return nullptr; }
    virtual CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() { return nullptr; }
};
