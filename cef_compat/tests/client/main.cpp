// The test client: a CEF application written only against the API. It creates one
// windowless browser, reports what the runtime calls back as lines on the test's pipe
// (--test-pipe=NAME) and carries out the test's commands from that pipe's thread.
#include <windows.h>

#include <string>
#include <thread>

#include "../support/line_pipe.h"
#include "client_app.h"
#include "client_handler.h"
#include "include/cef_task.h"

namespace {

// Tells the test that this process's own unhandled-exception filter ran.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers)
{
    const std::wstring name = L"cefcompat-test-crash-" + std::to_wstring(GetCurrentProcessId());
    cefcompat_test::CHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    if (event && pointers->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
        SetEvent(event.Get());
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

cef_log_severity_t Severity(const std::string& name)
{
    return name == "info" ? LOGSEVERITY_INFO : LOGSEVERITY_DISABLE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    SetUnhandledExceptionFilter(CrashFilter);
    CefMainArgs args(instance);
    CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
    commandLine->InitFromString(GetCommandLineW());

    std::unique_ptr<cefcompat_test::CLinePipe> pipe;
    CefRefPtr<CClientHandler> handler;
    auto notify = [&pipe](const std::string& line) {
        if (pipe)
            pipe->WriteLine(line, 5000);
    };
    CefRefPtr<CClientApp> app = new CClientApp([&]() {
        notify("context-initialized pid=" + std::to_string(GetCurrentProcessId()) +
               " on_ui=" + std::to_string(CefCurrentlyOn(TID_UI)));
        CefWindowInfo windowInfo;
        windowInfo.SetAsWindowless(nullptr, false);
        CefBrowserSettings browserSettings;
        browserSettings.webgl = STATE_DISABLED;
        browserSettings.background_color = 0x00FFFFFF;
        CefCommandLine::ArgumentList arguments;
        commandLine->GetArguments(arguments);
        CefBrowserHost::CreateBrowser(windowInfo, handler.get(), arguments.empty() ? CefString() : arguments[0],
                                      browserSettings, nullptr);
    });

    const int exitCode = CefExecuteProcess(args, app.get(), nullptr);
    if (exitCode >= 0)
        return exitCode;

    pipe = cefcompat_test::CLinePipe::Connect(commandLine->GetSwitchValue("test-pipe"), 10000);
    if (!pipe)
        return 3;
    const int width =
        commandLine->HasSwitch("test-width") ? std::stoi(commandLine->GetSwitchValue("test-width").ToString()) : 640;
    const int height =
        commandLine->HasSwitch("test-height") ? std::stoi(commandLine->GetSwitchValue("test-height").ToString()) : 480;
    handler = new CClientHandler(notify, width, height, commandLine->HasSwitch("test-allow-popups"));

    CefSettings settings;
    settings.no_sandbox = 1;
    settings.log_severity = Severity(commandLine->GetSwitchValue("test-log").ToString());
    CefString(&settings.log_file) = commandLine->GetSwitchValue("test-log-file");
    CefInitialize(args, settings, app.get(), nullptr);

    cefcompat_test::CHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread reader([&]() {
        std::string command;
        while (pipe->ReadLine(&command, INFINITE, stop.Get()))
            handler->Execute(command);
    });
    CefRunMessageLoop();
    notify("loop-ended");
    CefShutdown();
    notify("shutdown");
    SetEvent(stop.Get());
    reader.join();
    return 0;
}
