#include "runtime/browser_runtime.h"

#include <algorithm>

#include "engines/page_engine.h"
#include "runtime/browser_impl.h"
#include "runtime/journal_fields.h"
#include "runtime/log.h"
#include "runtime/process_state.h"
#include "runtime/scheme_registrar.h"

namespace cefcompat {
namespace {

constexpr size_t kJournalCapacity = 50000;
// A request whose answer needs the UI thread gives up after this long (the UI thread may be
// blocked in a client hook).
constexpr DWORD kReplyTimeoutMs = 15000;
constexpr int64_t kMaxWaitMs = 120000;
constexpr size_t kDefaultReadCount = 100;
constexpr size_t kMaxReadCount = 1000;

std::mutex g_mutex;
std::shared_ptr<CBrowserRuntime> g_runtime;

std::wstring CefStringOf(const cef_string_t& s)
{
    return std::wstring(s.str ? s.str : L"", s.length);
}

const wchar_t kHoldBrowsersVariable[] = L"CEFCOMPAT_HOLD_BROWSERS";

bool HoldBrowsersRequested()
{
    wchar_t value[2] = {};
    return GetEnvironmentVariableW(kHoldBrowsersVariable, value, 2) == 1 && value[0] == L'1';
}

bool IsBrowserCrashRequest(const std::vector<std::string>& tokens)
{
    return tokens.size() == 2 && tokens[0] == "crash" && tokens[1] == "browser";
}

CLine HeldBrowserLine(const char* name, const CBrowserRequest& request)
{
    CLine line("event", name);
    line.Add("url", request.url).Add("is_popup", request.isPopup);
    return line;
}

} // namespace

std::shared_ptr<CBrowserRuntime> CBrowserRuntime::Current()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_runtime;
}

bool CBrowserRuntime::Initialize(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> application)
{
    ConfigureLog(settings.log_severity, CefStringOf(settings.log_file));
    if (settings.multi_threaded_message_loop) {
        LogMessage(LOGSEVERITY_ERROR, "multi_threaded_message_loop is not supported");
        return false;
    }
    if (settings.single_process) {
        LogMessage(LOGSEVERITY_WARNING, "single_process is ignored: sub-processes are used");
    }
    std::shared_ptr<CBrowserRuntime> runtime;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_runtime)
            return false;
        runtime = std::make_shared<CBrowserRuntime>(args, settings, application);
        if (!runtime->m_ui->IsValid())
            return false;
        g_runtime = runtime;
    }
    // Outside the lock: the hooks called here may create browsers.
    runtime->Start();
    return true;
}

void CBrowserRuntime::Shutdown()
{
    std::shared_ptr<CBrowserRuntime> runtime = Current();
    if (!runtime || !runtime->OnUiThread())
        return;
    runtime->Record(CLine("call", "CefShutdown"));
    runtime->Stop();
    std::lock_guard<std::mutex> lock(g_mutex);
    g_runtime.reset();
}

CBrowserRuntime::CBrowserRuntime(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> app)
    : m_instance(args.instance),
      m_settings(settings),
      m_app(app),
      m_commandLine(new CCommandLineImpl()),
      m_journal(kJournalCapacity),
      m_ui(new CTaskQueue()),
      m_holdBrowsers(HoldBrowsersRequested())
{
}

CBrowserRuntime::~CBrowserRuntime() = default;

void CBrowserRuntime::Start()
{
    CLine call("call", "CefInitialize");
    call.AddRaw("instance", HandleText(m_instance));
    Record(AddFields(call, m_settings));
    SetThreadQueue(TID_UI, m_ui.get());
    if (m_holdBrowsers)
        Record(CLine("event", "BrowserCreationHold").Add("variable", std::wstring(kHoldBrowsersVariable)));

    if (!m_settings.command_line_args_disabled)
        m_commandLine->ParseWindows(GetCommandLineW());
    else
        m_commandLine->SetProgram(SubprocessPath());
    if (m_app) {
        Record(CLine("hook", "OnBeforeCommandLineProcessing")
                   .Add("process_type", "")
                   .Add("command_line", m_commandLine->ToWindowsString()));
        m_app->OnBeforeCommandLineProcessing(CefString(), m_commandLine.get());
        CefRefPtr<CSchemeRegistrarImpl> registrar = new CSchemeRegistrarImpl();
        Record(CLine("hook", "OnRegisterCustomSchemes"));
        m_app->OnRegisterCustomSchemes(registrar.get());
        for (const std::string& line : registrar->Lines())
            m_journal.Append(line);
    }

    m_earlyBrowser = StartEngineBrowser();

    m_control.reset(new CControlServer(this, kReplyTimeoutMs));
    const bool listening = m_control->Start();
    Record(CLine("event", "ControlPipe")
               .Add("name", CControlServer::PipeName(GetCurrentProcessId()))
               .Add("listening", listening));

    if (CefRefPtr<CefBrowserProcessHandler> handler = BrowserProcessHandler()) {
        Record(CLine("hook", "OnContextInitialized"));
        handler->OnContextInitialized();
    }
}

void CBrowserRuntime::Stop()
{
    std::vector<CefRefPtr<CBrowserImpl>> open;
    for (auto& browser : m_browsers)
        open.push_back(browser.second);
    for (auto& browser : open)
        browser->CloseNow();
    m_browsers.clear();
    DropHeldBrowsers();
    m_earlyBrowser.reset(); // never asked for
    m_journal.Close();
    if (m_control)
        m_control->Stop();
    SetThreadQueue(TID_UI, nullptr);
    m_ui->Close();
    m_app = nullptr;
}

CefRefPtr<CefBrowserProcessHandler> CBrowserRuntime::BrowserProcessHandler() const
{
    return m_app ? m_app->GetBrowserProcessHandler() : nullptr;
}

std::wstring CBrowserRuntime::SubprocessPath() const
{
    const std::wstring configured = CefStringOf(m_settings.browser_subprocess_path);
    if (!configured.empty())
        return configured;
    wchar_t module[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    return std::wstring(module, n < MAX_PATH ? n : 0);
}

void CBrowserRuntime::AddInheritedSwitches(CCommandLineImpl* child) const
{
    child->AppendSwitchWithValue("log-severity", SeverityName(LogSeverity()));
    if (LogSeverity() != LOGSEVERITY_DISABLE)
        child->AppendSwitchWithValue("log-file", LogPath());
}

bool CBrowserRuntime::CreateBrowserAsync(CBrowserRequest request)
{
    std::shared_ptr<CBrowserRuntime> self = shared_from_this();
    return PostUi([self, request]() { self->CreateOrHold(request); });
}

void CBrowserRuntime::CreateOrHold(const CBrowserRequest& request)
{
    if (!m_holdBrowsers) {
        CreateNow(request);
        return;
    }
    m_heldBrowsers.push_back(request);
    Record(HeldBrowserLine("BrowserCreationHeld", request).Add("held", static_cast<int64_t>(m_heldBrowsers.size())));
}

void CBrowserRuntime::CreateNow(const CBrowserRequest& request)
{
    CBrowserImpl::Create(shared_from_this(), request.windowInfo, request.client, request.url, request.settings,
                         request.isPopup);
}

void CBrowserRuntime::ReleaseHeldBrowsers(const CControlServer::Reply& reply)
{
    std::vector<CBrowserRequest> held;
    held.swap(m_heldBrowsers);
    Record(CLine("event", "BrowserCreationReleased").Add("count", static_cast<int64_t>(held.size())));
    // Answered first: a client hook that blocks must not block the answer.
    reply("ok released=" + std::to_string(held.size()));
    for (const CBrowserRequest& request : held)
        CreateNow(request);
}

// A creation still held at shutdown never happens: its client hears nothing.
void CBrowserRuntime::DropHeldBrowsers()
{
    for (const CBrowserRequest& request : m_heldBrowsers)
        Record(HeldBrowserLine("BrowserCreationDropped", request));
    m_heldBrowsers.clear();
}

void CBrowserRuntime::AddBrowser(CefRefPtr<CBrowserImpl> browser)
{
    m_browsers[browser->Id()] = browser;
}

void CBrowserRuntime::RemoveBrowser(int id)
{
    m_browsers.erase(id);
}

CefRefPtr<CBrowserImpl> CBrowserRuntime::TargetBrowser() const
{
    return m_browsers.empty() ? nullptr : m_browsers.begin()->second;
}

void CBrowserRuntime::HandleRequest(const std::string& line, CControlServer::Reply reply)
{
    const std::vector<std::string> tokens = SplitTokens(line);
    if (tokens.empty()) {
        reply("error empty-request");
        return;
    }
    const std::string& verb = tokens[0];
    if (verb == "ping") {
        reply("ok pid=" + std::to_string(GetCurrentProcessId()) + " seq=" + std::to_string(m_journal.LastSeq()));
        return;
    }
    if (verb == "mark" || verb == "wait" || verb == "journal") {
        HandleJournalRequest(tokens, reply);
        return;
    }
    if (IsBrowserCrashRequest(tokens)) {
        Record(CLine("event", "CrashRequested").Add("process", "browser"));
        reply("ok pid=" + std::to_string(GetCurrentProcessId()));
        return;
    }
    std::shared_ptr<CBrowserRuntime> self = shared_from_this();
    if (!PostUi([self, tokens, reply]() { self->HandleOnUi(tokens, reply); }))
        reply("error stopped");
}

void CBrowserRuntime::AnswerSent(const std::string& line)
{
    // The crash waits for its answer to be in the pipe: a process that dies first takes the
    // answer with it, and the client could not tell the crash it asked for from another.
    if (IsBrowserCrashRequest(SplitTokens(line)))
        PostUi([]() { CrashWithAccessViolation(); });
}

void CBrowserRuntime::HandleOnUi(const std::vector<std::string>& tokens, CControlServer::Reply reply)
{
    if (tokens[0] == "status") {
        CefRefPtr<CBrowserImpl> target = TargetBrowser();
        reply("ok browsers=" + std::to_string(m_browsers.size()) + " target=" +
              std::to_string(target ? target->Id() : 0) + " held=" + std::to_string(m_heldBrowsers.size()));
        return;
    }
    if (tokens[0] == "release-browsers") {
        ReleaseHeldBrowsers(reply);
        return;
    }
    CefRefPtr<CBrowserImpl> browser = TargetBrowser();
    if (!browser) {
        reply("error no-browser");
        return;
    }
    browser->HandleControl(tokens, reply);
}

void CBrowserRuntime::HandleJournalRequest(const std::vector<std::string>& tokens, const CControlServer::Reply& reply)
{
    if (tokens[0] == "mark") {
        reply("ok seq=" + std::to_string(m_journal.LastSeq()));
        return;
    }
    int64_t first = 0;
    int64_t second = 0;
    if (tokens.size() < 2 || !ParseInt64(tokens[1], &first) || first < 0) {
        reply("error bad-arguments");
        return;
    }
    if (tokens[0] == "journal") {
        size_t max = kDefaultReadCount;
        if (tokens.size() > 2 && ParseInt64(tokens[2], &second) && second > 0) {
            max = std::min(static_cast<size_t>(second), kMaxReadCount);
        }
        std::string answer;
        uint64_t last = static_cast<uint64_t>(first);
        const std::vector<CJournalEntry> entries = m_journal.Read(last, max);
        for (const CJournalEntry& entry : entries) {
            answer += " " + EncodeText(entry.line);
            last = entry.seq;
        }
        reply("ok count=" + std::to_string(entries.size()) + " next=" + std::to_string(last) + answer);
        return;
    }
    // wait <timeout-ms> <after-seq> <term>...
    if (tokens.size() < 4 || !ParseInt64(tokens[2], &second) || second < 0) {
        reply("error bad-arguments");
        return;
    }
    // Terms are compared with the lines' tokens as they are, both in their encoded form.
    const std::vector<std::string> terms(tokens.begin() + 3, tokens.end());
    CJournalEntry found;
    const auto timeout = std::chrono::milliseconds(std::min(first, kMaxWaitMs));
    if (m_journal.WaitFor(static_cast<uint64_t>(second), terms, timeout, &found)) {
        reply("ok seq=" + std::to_string(found.seq) + " line=" + EncodeText(found.line));
    } else {
        reply("error timeout");
    }
}

} // namespace cefcompat
