#include "HostTestSupport.h"

#include "Win32Owners.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace NsHostTest {

const DWORD kTimeoutMs = NsTestSupport::ScaledMs(30000);

int32_t SelfPid()
{
    return static_cast<int32_t>(::GetCurrentProcessId());
}

int32_t NextIndex()
{
    static std::atomic<int32_t> index{0};
    return ++index;
}

std::wstring BinaryPath(const wchar_t* fileName)
{
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    path.erase(path.find_last_of(L'\\') + 1);
    return path + fileName;
}

CChildProcess::CChildProcess(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        ADD_FAILURE() << "cannot start " << std::string(program.begin(), program.end()) << ", error "
                      << ::GetLastError();
        return;
    }
    NsWin32::CKernelHandle thread(info.hThread);
    m_process.Reset(info.hProcess);
    m_id = info.dwProcessId;
}

CChildProcess::CChildProcess(DWORD processId)
    : m_process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId)),
      m_id(processId)
{
    if (!m_process)
        ADD_FAILURE() << "cannot open process " << processId << ", error " << ::GetLastError();
}

CChildProcess::~CChildProcess()
{
    Kill();
}

std::optional<DWORD> CChildProcess::WaitForExit(DWORD timeoutMs) const
{
    if (!m_process || ::WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD exitCode = 0;
    ::GetExitCodeProcess(m_process.Get(), &exitCode);
    return exitCode;
}

void CChildProcess::Kill()
{
    if (m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_process.Get(), 0xDEAD);
        ::WaitForSingleObject(m_process.Get(), INFINITE);
    }
}

std::wstring HostPath()
{
    return BinaryPath(L"Pagehull.exe");
}

std::wstring HostArguments(int32_t parentPid, int32_t index, const std::wstring& address)
{
    return L"--idx=" + std::to_wstring(index) + L" --pid=" + std::to_wstring(parentPid) + L" " + kScriptedEngineSwitch +
           L" " + address;
}

CAddinEnd::CAddinEnd(int32_t parentPid, int32_t index)
{
    EXPECT_EQ(parentPid, SelfPid()) << "the library opens channels under this process's id only";
    const ph_status opened = m_session.Open(index);
    EXPECT_EQ(opened, PH_OK) << ph_status_text(opened);
}

bool CAddinEnd::WaitForHost()
{
    m_attached = m_attached || m_session.Attach(0, kTimeoutMs) == PH_OK;
    return m_attached;
}

bool CAddinEnd::Take(uint32_t timeoutMs)
{
    pagehull::Event event;
    // The session knows no host process, so it never reports the host's end.
    if (m_session.Wait(event, timeoutMs) != PH_OK)
        return false;
    if (event.kind == PH_EVENT_FRAME)
        m_frameSizes.emplace_back(event.width, event.height);
    else
        m_events.push_back(std::move(event.raw));
    return true;
}

template <typename Found>
bool CAddinEnd::WaitUntil(Found found)
{
    const NsWin32::CDeadline deadline(kTimeoutMs);
    while (!found()) {
        if (!Take(deadline.Remaining()))
            return false;
    }
    return true;
}

namespace {

// Finds `wanted` in `items` after the first `consumed`, and consumes up to it.
template <typename Item>
bool Consume(const std::vector<Item>& items, size_t& consumed, const Item& wanted)
{
    const auto match = std::find(items.begin() + static_cast<std::ptrdiff_t>(consumed), items.end(), wanted);
    if (match == items.end())
        return false;
    consumed = static_cast<size_t>(match - items.begin()) + 1;
    return true;
}

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

bool CAddinEnd::WaitForEvent(const std::wstring& text)
{
    return WaitUntil([&] { return Consume(m_events, m_consumed, text); });
}

std::vector<std::wstring> CAddinEnd::Events()
{
    while (Take(0)) {}
    return m_events;
}

bool CAddinEnd::WaitForFrame(int32_t width, int32_t height)
{
    return WaitUntil([&] { return Consume(m_frameSizes, m_framesConsumed, std::make_pair(width, height)); });
}

std::optional<CFrame> CAddinEnd::CurrentFrame()
{
    CFrame frame;
    if (m_session.CopyFrame(frame) != PH_OK)
        return std::nullopt;
    return frame;
}

uint32_t CFrame::PixelAt(int x, int y) const
{
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
    return uint32_t{pixels.at(at + 2)} << 16 | uint32_t{pixels.at(at + 1)} << 8 | pixels.at(at);
}

bool CAddinEnd::Send(const NsChannel::Command& command)
{
    // Commands need the host's end of the pipe, which tests that only wait for events never
    // asked for.
    return WaitForHost() && Dispatch(command) == PH_OK;
}

bool CAddinEnd::Send(NsChannel::CommandCode code)
{
    return Send(MakeCommand(code));
}

ph_status CAddinEnd::Dispatch(const NsChannel::Command& c)
{
    switch (c.code) {
    case NsChannel::CMD_MOUSE_MOVE: return m_session.MouseMove(c.x, c.y, c.modifiers, kTimeoutMs);
    case NsChannel::CMD_MOUSE_WHEEL: return m_session.MouseWheel(c.x, c.y, c.deltaX, c.deltaY, c.modifiers, kTimeoutMs);
    case NsChannel::CMD_MOUSE_CLICK:
        return m_session.MouseClick(c.x, c.y, c.leftButton ? PH_BUTTON_LEFT : PH_BUTTON_RIGHT, c.buttonDown,
                                    c.modifiers, kTimeoutMs);
    case NsChannel::CMD_FOCUS: return m_session.Focus(c.focused, kTimeoutMs);
    case NsChannel::CMD_KEY:
        if (c.keyDown && c.keyUp)
            return PH_BAD_ARGUMENT;
        return m_session.Key(c.keyDown ? PH_KEY_DOWN
                             : c.keyUp ? PH_KEY_UP
                                       : PH_KEY_CHAR,
                             c.keyCode, c.systemKey, kTimeoutMs);
    case NsChannel::CMD_GO_BACK: return m_session.GoBack(kTimeoutMs);
    case NsChannel::CMD_GO_FORWARD: return m_session.GoForward(kTimeoutMs);
    case NsChannel::CMD_LOAD_URL: return m_session.LoadUrl(Wide(c.text), kTimeoutMs);
    case NsChannel::CMD_RESIZE: return m_session.Resize(c.width, c.height, kTimeoutMs);
    case NsChannel::CMD_EXECUTE_SCRIPT: return m_session.ExecuteScript(Wide(c.text), kTimeoutMs);
    case NsChannel::CMD_JS_DIALOG_REPLY: return m_session.AnswerScriptDialog(c.answer, Wide(c.text), kTimeoutMs);
    case NsChannel::CMD_FILE_DIALOG_REPLY: {
        std::vector<std::wstring> paths;
        for (const std::u16string& path : c.paths.empty() ? NsChannel::SplitPathList(c.text) : c.paths)
            paths.push_back(Wide(path));
        return m_session.AnswerFileDialog(c.answer, paths, kTimeoutMs);
    }
    case NsChannel::CMD_CLOSE: return m_session.CloseHost(kTimeoutMs);
    default: return PH_BAD_ARGUMENT;
    }
}

std::optional<std::wstring> CAddinEnd::QueryUrl()
{
    std::wstring url;
    if (!WaitForHost() || m_session.GetUrl(url, kTimeoutMs) != PH_OK)
        return std::nullopt;
    return url;
}

std::optional<bool> CAddinEnd::QueryFlag(NsChannel::CommandCode code)
{
    const auto query =
        code == NsChannel::CMD_CAN_GO_BACK ? &pagehull::Session::CanGoBack : &pagehull::Session::CanGoForward;
    bool flag = false;
    if (!WaitForHost() || (m_session.*query)(flag, kTimeoutMs) != PH_OK)
        return std::nullopt;
    return flag;
}

CEngineControl::CEngineControl(const CChildProcess& host) : m_host(host)
{
    const std::wstring name = L"\\\\.\\pipe\\cefcompat-control-" + std::to_wstring(host.Id());
    const NsWin32::CDeadline deadline(kTimeoutMs);
    // Nothing announces the pipe: it appears while the host starts CEF. Each try waits a
    // little on the host itself, so a host that ends instead is noticed at once.
    while (!m_pipe) {
        m_pipe.Reset(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (m_pipe)
            break;
        if (::GetLastError() == ERROR_PIPE_BUSY) {
            ::WaitNamedPipeW(name.c_str(), kTimeoutMs);
            continue;
        }
        if (deadline.Remaining() == 0 || ::WaitForSingleObject(host.Handle(), 50) != WAIT_TIMEOUT)
            return;
    }
}

std::optional<std::string> CEngineControl::Request(const std::string& line)
{
    const std::string request = line + "\n";
    DWORD written = 0;
    if (!::WriteFile(m_pipe.Get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr))
        return std::nullopt;
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string answer = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            if (!answer.empty() && answer.back() == '\r')
                answer.pop_back();
            return answer;
        }
        char buffer[4096];
        DWORD read = 0;
        if (!::ReadFile(m_pipe.Get(), buffer, sizeof(buffer), &read, nullptr) || read == 0)
            return std::nullopt;
        m_pending.append(buffer, read);
    }
}

std::optional<std::string> CEngineControl::WaitForJournal(const std::string& terms)
{
    const std::optional<std::string> answer =
        Request("wait " + std::to_string(kTimeoutMs) + " " + m_journalCursor + " " + terms);
    if (!answer || answer->compare(0, 3, "ok ") != 0) {
        const std::optional<DWORD> exitCode = m_host.WaitForExit(0);
        ADD_FAILURE() << "journal wait for \"" << terms << "\": " << answer.value_or("pipe broken")
                      << (exitCode ? ", host ended with " + std::to_string(*exitCode) : ", host runs");
        return std::nullopt;
    }
    m_journalCursor = Field(*answer, "seq");
    return DecodeJournalText(Field(*answer, "line"));
}

std::string CEngineControl::Mark()
{
    const std::optional<std::string> answer = Request("mark");
    return answer ? Field(*answer, "seq") : std::string();
}

std::vector<std::string> CEngineControl::JournalSince(const std::string& mark)
{
    constexpr size_t kPage = 1000;
    std::vector<std::string> lines;
    std::string after = mark;
    for (;;) {
        const std::optional<std::string> answer = Request("journal " + after + " " + std::to_string(kPage));
        if (!answer || answer->compare(0, 3, "ok ") != 0) {
            ADD_FAILURE() << "journal after " << after << ": " << answer.value_or("pipe broken");
            return lines;
        }
        // ok count=N next=SEQ LINE...
        size_t start = answer->find(' ', answer->find("next="));
        size_t count = 0;
        while (start != std::string::npos && start + 1 < answer->size()) {
            const size_t end = answer->find(' ', start + 1);
            lines.push_back(DecodeJournalText(answer->substr(start + 1, end - start - 1)));
            ++count;
            start = end;
        }
        if (count < kPage)
            return lines;
        after = Field(*answer, "next");
    }
}

std::string DecodeJournalText(const std::string& token)
{
    if (token == "-")
        return std::string();
    std::string text;
    for (size_t i = 0; i < token.size(); ++i) {
        if (token[i] == '%' && i + 2 < token.size()) {
            text += static_cast<char>(std::stoi(token.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            text += token[i];
        }
    }
    return text;
}

std::string Field(const std::string& line, const std::string& key)
{
    const std::string prefix = key + "=";
    size_t start = 0;
    while (start < line.size()) {
        const size_t end = std::min(line.find(' ', start), line.size());
        if (line.compare(start, prefix.size(), prefix) == 0)
            return line.substr(start + prefix.size(), end - start - prefix.size());
        start = end + 1;
    }
    return std::string();
}

namespace {

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchHostWindow(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (owner != search.processId || std::wstring(className) != kHostWindowClass)
        return TRUE;
    search.found = window;
    return FALSE;
}

} // namespace

HWND FindHostWindow(DWORD processId)
{
    WindowSearch search = {processId, nullptr};
    ::EnumWindows(MatchHostWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring WindowCaption(HWND window)
{
    wchar_t caption[512] = {};
    ::GetWindowTextW(window, caption, 512);
    return caption;
}

CCrashListener::CCrashListener(DWORD addinPid)
    : m_message(::RegisterWindowMessageW((L"PagehullCrashMessage_" + std::to_wstring(addinPid)).c_str())),
      // Broadcasts reach top-level windows only, shown or not.
      m_window(::CreateWindowExW(0, L"STATIC", L"crash listener", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr))
{
}

CCrashListener::~CCrashListener()
{
    ::DestroyWindow(m_window);
}

std::optional<DWORD> CCrashListener::WaitForBroadcast()
{
    const NsWin32::CDeadline deadline(kTimeoutMs);
    for (;;) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == m_message)
                return static_cast<DWORD>(message.wParam);
            ::DispatchMessageW(&message);
        }
        const DWORD remaining = deadline.Remaining();
        if (remaining == 0 || ::MsgWaitForMultipleObjects(0, nullptr, FALSE, remaining, QS_ALLINPUT) == WAIT_TIMEOUT)
            return std::nullopt;
    }
}

CHeldHotKey::CHeldHotKey(UINT key)
    : m_id(static_cast<int>(key)),
      m_held(::RegisterHotKey(nullptr, m_id, MOD_CONTROL | MOD_ALT, key) != FALSE)
{
}

CHeldHotKey::~CHeldHotKey()
{
    if (m_held)
        ::UnregisterHotKey(nullptr, m_id);
}

void PressCtrlAlt(UINT key)
{
    const WORD sequence[] = {VK_CONTROL, VK_MENU, static_cast<WORD>(key)};
    INPUT inputs[6] = {};
    for (size_t i = 0; i < 3; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = sequence[i];
        inputs[5 - i].type = INPUT_KEYBOARD;
        inputs[5 - i].ki.wVk = sequence[i];
        inputs[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    ::SendInput(6, inputs, sizeof(INPUT));
}

bool WaitForVisibility(HWND window, bool visible)
{
    // A hot key arrives as a posted message, and a sent one is handled first, so no single
    // round trip proves the hot key was handled; a busy machine may take many of them.
    const NsWin32::CDeadline deadline(kTimeoutMs);
    while ((::IsWindowVisible(window) != FALSE) != visible) {
        const DWORD remaining = deadline.Remaining();
        DWORD_PTR result = 0;
        if (remaining == 0 || !::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, remaining, &result))
            return false;
    }
    return true;
}

namespace {

const wchar_t kSettingsKey[] = L"Software\\Brelvo\\MevoraAddin";
const wchar_t kHotKeySetting[] = L"CefHostHotKey";

} // namespace

CHotKeySetting::CHotKeySetting(DWORD value)
{
    NsWin32::CRegistryKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(),
                          nullptr) == ERROR_SUCCESS)
        ::RegSetValueExW(key.Get(), kHotKeySetting, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

CHotKeySetting::~CHotKeySetting()
{
    NsWin32::CRegistryKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS)
        ::RegDeleteValueW(key.Get(), kHotKeySetting);
}

NsChannel::Command MakeCommand(NsChannel::CommandCode code)
{
    NsChannel::Command command;
    command.code = code;
    return command;
}

NsChannel::Command LoadUrlCommand(const std::wstring& url)
{
    NsChannel::Command command = MakeCommand(NsChannel::CMD_LOAD_URL);
    command.text.assign(url.begin(), url.end());
    return command;
}

} // namespace NsHostTest
