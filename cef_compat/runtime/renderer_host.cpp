// rand_s is declared only when this comes before the C library headers.
#define _CRT_RAND_S

#include "runtime/renderer_host.h"

#include <cstdlib>

#include "runtime/browser_runtime.h"
#include "runtime/log.h"

namespace cefcompat {
namespace {

// How long a render process may take to end after its pipe was closed or broke.
constexpr DWORD kExitWaitMs = 5000;

std::wstring NewPipeName(int browserId)
{
    unsigned int nonce = 0;
    rand_s(&nonce);
    return L"\\\\.\\pipe\\cefcompat-ipc-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(browserId) +
           L"-" + std::to_wstring(nonce);
}

cef_termination_status_t StatusFromExitCode(DWORD exitCode)
{
    // Exception codes (access violation and the like) end a process that crashed.
    if (exitCode >= 0xC0000000u)
        return TS_PROCESS_CRASHED;
    return TS_ABNORMAL_TERMINATION;
}

} // namespace

CWireWriter IpcMessage(CIpcType type)
{
    CWireWriter writer;
    writer.U32(static_cast<uint32_t>(type));
    return writer;
}

CRendererHost::CRendererHost(MessageFn onMessage, GoneFn onGone)
    : m_onMessage(std::move(onMessage)),
      m_onGone(std::move(onGone))
{
}

CRendererHost::~CRendererHost()
{
    Stop();
}

bool CRendererHost::Launch(CBrowserRuntime& runtime, int browserId)
{
    const std::wstring pipeName = NewPipeName(browserId);
    m_channel = CIpcChannel::CreateServer(pipeName);
    if (!m_channel)
        return false;

    CefRefPtr<CCommandLineImpl> commandLine = new CCommandLineImpl();
    commandLine->SetProgram(runtime.SubprocessPath());
    commandLine->AppendSwitchWithValue("type", "renderer");
    runtime.AddInheritedSwitches(commandLine.get());
    commandLine->AppendSwitchWithValue("cefcompat-ipc", pipeName);

    CefRefPtr<CListValueImpl> extraInfo = new CListValueImpl();
    if (CefRefPtr<CefBrowserProcessHandler> handler = runtime.BrowserProcessHandler()) {
        runtime.Record(CLine("hook", "OnRenderProcessThreadCreated").Add("browser", browserId));
        handler->OnRenderProcessThreadCreated(extraInfo.get());
        runtime.Record(CLine("hook", "OnBeforeChildProcessLaunch").Add("browser", browserId));
        handler->OnBeforeChildProcessLaunch(commandLine.get());
    }

    std::wstring text = commandLine->ToWindowsString();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(commandLine->GetProgram().ToWString().c_str(), &text[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        const DWORD error = GetLastError();
        runtime.Record(
            CLine("event", "RendererLaunchFailed").Add("browser", browserId).Add("error", static_cast<int>(error)));
        LogMessage(LOGSEVERITY_ERROR, "render process could not be started, error " + std::to_string(error));
        m_channel.reset();
        return false;
    }
    NsWin32::CKernelHandle thread(info.hThread);
    m_process.Reset(info.hProcess);
    m_processId = info.dwProcessId;
    m_running = true;
    runtime.Record(CLine("event", "RendererLaunched")
                       .Add("browser", browserId)
                       .Add("pid", static_cast<int64_t>(m_processId))
                       .Add("command_line", text));

    CWireWriter hello = IpcMessage(CIpcType::kHello);
    extraInfo->Write(&hello);
    m_channel->Send(hello.Bytes());
    return m_channel->Start(this, m_process.Get());
}

bool CRendererHost::Send(const std::string& payload)
{
    return m_running && m_channel && m_channel->Send(payload);
}

void CRendererHost::Stop()
{
    // Closing the pipe is what tells the render process to end.
    m_channel.reset();
    m_running = false;
    if (m_process && WaitForSingleObject(m_process.Get(), kExitWaitMs) == WAIT_TIMEOUT) {
        TerminateProcess(m_process.Get(), 1);
    }
    m_process.Reset();
    m_onMessage = nullptr;
    m_onGone = nullptr;
}

void CRendererHost::OnIpcMessage(const std::string& payload)
{
    CWireReader reader(payload);
    uint32_t type = 0;
    if (reader.U32(&type))
        m_onMessage(static_cast<CIpcType>(type), payload.substr(4));
}

void CRendererHost::OnIpcClosed()
{
    m_running = false;
    DWORD exitCode = 0;
    cef_termination_status_t status = TS_ABNORMAL_TERMINATION;
    if (WaitForSingleObject(m_process.Get(), kExitWaitMs) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(m_process.Get(), &exitCode)) {
        status = StatusFromExitCode(exitCode);
    } else {
        TerminateProcess(m_process.Get(), 1);
        status = TS_PROCESS_WAS_KILLED;
    }
    m_onGone(status);
}

} // namespace cefcompat
