// The render process role: connects to the browser process over the private pipe given on
// its command line, calls the application's render-process hooks on its main thread, keeps
// the registered extensions and runs their native functions, and ends when the pipe closes
// (the browser process closed it or ended).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "include/cef_app.h"
#include "runtime/command_line.h"
#include "runtime/ipc_channel.h"
#include "runtime/renderer_browser.h"
#include "runtime/renderer_link.h"
#include "runtime/task_queue.h"

namespace cefcompat {

class CRendererProcess : private CIpcChannel::IListener {
public:
    // Runs the role to its end; returns the process exit code.
    static int Run(CefRefPtr<CefApp> app, CefRefPtr<CCommandLineImpl> commandLine);
    // On the render thread while the role runs; null elsewhere.
    static CRendererProcess* Current();

    bool RegisterExtension(const std::wstring& name, const std::wstring& code, CefRefPtr<CefV8Handler> handler);
    CRendererLink& Link() { return *m_link; }

private:
    struct CExtension {
        std::wstring name;
        std::wstring code;
        std::vector<std::wstring> natives;
        CefRefPtr<CefV8Handler> handler;
    };

    CRendererProcess(CefRefPtr<CefApp> app, std::unique_ptr<CIpcChannel> channel);
    ~CRendererProcess();
    int Loop();

    void OnIpcConnected() OVERRIDE {}
    void OnIpcMessage(const std::string& payload) OVERRIDE;
    void OnIpcClosed() OVERRIDE;

    void Handle(const std::string& payload);
    void OnHello(CWireReader* reader);
    void ReportExtensions();
    void OnBrowserCreated(CWireReader* reader);
    void OnBrowserDestroyed(CWireReader* reader);
    void OnFrameLoaded(CWireReader* reader);
    void OnProcessMessage(CWireReader* reader);
    void OnInvokeNative(CWireReader* reader);
    void Reply(uint32_t callId, uint8_t outcome, const std::wstring& exception, const CScriptValue& retval);
    const CExtension* FindNative(const std::wstring& name) const;
    CefRefPtr<CRendererBrowser> FindBrowser(int id) const;
    CefRefPtr<CefRenderProcessHandler> Handler() const;

    CTaskQueue m_queue;
    CefRefPtr<CefApp> m_app;
    std::unique_ptr<CIpcChannel> m_channel;
    std::shared_ptr<CRendererLink> m_link;
    std::map<int, CefRefPtr<CRendererBrowser>> m_browsers;
    std::vector<CExtension> m_extensions;
};

} // namespace cefcompat
