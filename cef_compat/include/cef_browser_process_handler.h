// Browser-process hooks of the application.
#pragma once

#include "include/cef_base.h"
#include "include/cef_command_line.h"
#include "include/cef_print_handler.h"
#include "include/cef_values.h"

// Called on the UI thread.
class CefBrowserProcessHandler : public virtual CefBase {
public:
    // Once, inside CefInitialize, when browsers may be created.
    virtual void OnContextInitialized() {}
    // Before each sub-process starts; switches appended here reach its command line.
    virtual void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) {}
    // Before each render process starts; |extra_info| reaches its OnRenderThreadCreated.
    virtual void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) {}
    virtual CefRefPtr<CefPrintHandler> GetPrintHandler() { return nullptr; }
};
