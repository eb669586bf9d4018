// One entry for every process of the program: the browser process the add-in starts and
// every sub-process (renderer, GPU, ...) that CEF starts again from this executable.

#include "HostEntry.h"
#include "OffscreenBrowserApp.h"

#include "include/cef_app.h"

int APIENTRY wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*showCommand*/)
{
    // First of all, so that sub-processes are covered as well.
    ::SetUnhandledExceptionFilter(HostUnhandledExceptionFilter);

    const CefMainArgs mainArgs(instance);
    CefRefPtr<COffscreenBrowserApp> app(new COffscreenBrowserApp(instance));

    const int subProcessExitCode = CefExecuteProcess(mainArgs, app.get(), nullptr);
    if (subProcessExitCode >= 0)
        return subProcessExitCode;

    CefSettings settings;
    settings.no_sandbox = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    // This API level refuses windowless browsers unless they are enabled process-wide.
    settings.windowless_rendering_enabled = 1;

    // Without CEF nothing would ever end the loop, and CEF must not be shut down that was
    // never up: a host whose start failed ends at once, without a browser.
    if (!CefInitialize(mainArgs, settings, app.get(), nullptr))
        return g_hostExitCode;
    CefRunMessageLoop();
    CefShutdown();
    return g_hostExitCode;
}
