// The API's free functions and static factories: process start-up and shutdown, the message
// loop, tasks, command lines and browser creation.
#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_task.h"
#include "runtime/browser_impl.h"
#include "runtime/browser_runtime.h"
#include "runtime/command_line.h"
#include "runtime/journal_fields.h"
#include "runtime/log.h"
#include "runtime/process_state.h"
#include "runtime/renderer_process.h"

using cefcompat::CBrowserImpl;
using cefcompat::CBrowserRuntime;
using cefcompat::CCommandLineImpl;
using cefcompat::CLine;

namespace {

CefRefPtr<CCommandLineImpl> ProcessCommandLine()
{
    static CefRefPtr<CCommandLineImpl> commandLine = []() {
        CefRefPtr<CCommandLineImpl> parsed = new CCommandLineImpl();
        parsed->ParseWindows(GetCommandLineW());
        parsed->SetReadOnly();
        return parsed;
    }();
    return commandLine;
}

CLine CallLine(const char* name, const std::shared_ptr<CBrowserRuntime>& runtime)
{
    CLine line("call", name);
    line.Add("on_ui", runtime->OnUiThread());
    return line;
}

} // namespace

int CefExecuteProcess(const CefMainArgs&, CefRefPtr<CefApp> application, void*)
{
    CefRefPtr<CCommandLineImpl> commandLine = ProcessCommandLine();
    const std::wstring type = commandLine->SwitchValue(L"type");
    if (type.empty())
        return -1;
    if (type == L"renderer")
        return cefcompat::CRendererProcess::Run(application, commandLine);
    // No other sub-process is ever started by this runtime.
    if (application) {
        CefRefPtr<CefCommandLine> writable = commandLine->Copy();
        application->OnBeforeCommandLineProcessing(type, writable);
    }
    return 1;
}

bool CefInitialize(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> application, void*)
{
    return CBrowserRuntime::Initialize(args, settings, application);
}

void CefShutdown()
{
    CBrowserRuntime::Shutdown();
}

void CefDoMessageLoopWork()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Left for the application's own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void CefRunMessageLoop()
{
    std::shared_ptr<CBrowserRuntime> runtime = CBrowserRuntime::Current();
    if (!runtime || !runtime->OnUiThread())
        return;
    runtime->Record(CallLine("CefRunMessageLoop", runtime));
    runtime.reset();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if ((runtime = CBrowserRuntime::Current()))
        runtime->Record(CLine("event", "MessageLoopEnded"));
}

void CefQuitMessageLoop()
{
    std::shared_ptr<CBrowserRuntime> runtime = CBrowserRuntime::Current();
    if (!runtime)
        return;
    runtime->Record(CallLine("CefQuitMessageLoop", runtime));
    // The loop's quit message must come from the loop's own thread.
    if (runtime->OnUiThread())
        PostQuitMessage(0);
    else
        runtime->PostUi([]() { PostQuitMessage(0); });
}

void CefSetOSModalLoop(bool osModalLoop)
{
    if (std::shared_ptr<CBrowserRuntime> runtime = CBrowserRuntime::Current()) {
        runtime->Record(CallLine("CefSetOSModalLoop", runtime).Add("os_modal_loop", osModalLoop));
    }
}

bool CefCurrentlyOn(CefThreadId threadId)
{
    return cefcompat::IsOnThread(threadId);
}

bool CefPostTask(CefThreadId threadId, CefRefPtr<CefTask> task)
{
    return CefPostDelayedTask(threadId, task, 0);
}

bool CefPostDelayedTask(CefThreadId threadId, CefRefPtr<CefTask> task, int64 delay_ms)
{
    if (!task)
        return false;
    return cefcompat::PostToThread(
        threadId, [task]() { task->Execute(); }, delay_ms);
}

CefRefPtr<CefCommandLine> CefCommandLine::CreateCommandLine()
{
    return new CCommandLineImpl();
}

CefRefPtr<CefCommandLine> CefCommandLine::GetGlobalCommandLine()
{
    return ProcessCommandLine().get();
}

namespace {

CLine CreateBrowserLine(const char* name, const std::shared_ptr<CBrowserRuntime>& runtime,
                        const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client, const CefString& url,
                        const CefBrowserSettings& settings, CefRefPtr<CefRequestContext> requestContext)
{
    CLine line = CallLine(name, runtime);
    line.Add("url", url).AddRaw("client", cefcompat::HandleText(client.get()));
    cefcompat::AddFields(line, windowInfo);
    cefcompat::AddFields(line, settings);
    return line.AddRaw("request_context", requestContext ? "set" : "null");
}

} // namespace

bool CefBrowserHost::CreateBrowser(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client, const CefString& url,
                                   const CefBrowserSettings& settings, CefRefPtr<CefRequestContext> request_context)
{
    std::shared_ptr<CBrowserRuntime> runtime = CBrowserRuntime::Current();
    if (!runtime)
        return false;
    runtime->Record(CreateBrowserLine("CreateBrowser", runtime, windowInfo, client, url, settings, request_context));
    return runtime->CreateBrowserAsync({windowInfo, client, url.ToWString(), settings, false});
}

CefRefPtr<CefBrowser> CefBrowserHost::CreateBrowserSync(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                                                        const CefString& url, const CefBrowserSettings& settings,
                                                        CefRefPtr<CefRequestContext> request_context)
{
    std::shared_ptr<CBrowserRuntime> runtime = CBrowserRuntime::Current();
    if (!runtime || !runtime->OnUiThread())
        return nullptr;
    runtime->Record(
        CreateBrowserLine("CreateBrowserSync", runtime, windowInfo, client, url, settings, request_context));
    return CBrowserImpl::Create(runtime, windowInfo, client, url.ToWString(), settings, false).get();
}
