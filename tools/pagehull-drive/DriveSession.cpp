#include "DriveSession.h"

#include "PngWriter.h"
#include "Utf8.h"

#include <algorithm>
#include <chrono>

namespace {

// The receiving thread's wait is cut into slices so that it also ends with a session that
// closes without a host.
constexpr uint32_t kReceiveSliceMs = 1000;

std::wstring Flag(bool value)
{
    return value ? L"true" : L"false";
}

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    NsWin32::CFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::wstring Text(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

// One command of a step through the session's call for it.
ph_status SendCommand(pagehull::Session& session, const NsChannel::Command& command, uint32_t timeoutMs)
{
    switch (command.code) {
    case NsChannel::CMD_MOUSE_MOVE: return session.MouseMove(command.x, command.y, command.modifiers, timeoutMs);
    case NsChannel::CMD_MOUSE_WHEEL:
        return session.MouseWheel(command.x, command.y, command.deltaX, command.deltaY, command.modifiers, timeoutMs);
    case NsChannel::CMD_MOUSE_CLICK:
        return session.MouseClick(command.x, command.y, command.leftButton ? PH_BUTTON_LEFT : PH_BUTTON_RIGHT,
                                  command.buttonDown, command.modifiers, timeoutMs);
    case NsChannel::CMD_FOCUS: return session.Focus(command.focused, timeoutMs);
    case NsChannel::CMD_KEY: {
        const ph_key_kind kind = command.keyDown ? PH_KEY_DOWN : command.keyUp ? PH_KEY_UP : PH_KEY_CHAR;
        return session.Key(kind, command.keyCode, command.systemKey, timeoutMs);
    }
    case NsChannel::CMD_GO_BACK: return session.GoBack(timeoutMs);
    case NsChannel::CMD_GO_FORWARD: return session.GoForward(timeoutMs);
    case NsChannel::CMD_LOAD_URL: return session.LoadUrl(Text(command.text), timeoutMs);
    case NsChannel::CMD_RESIZE: return session.Resize(command.width, command.height, timeoutMs);
    case NsChannel::CMD_EXECUTE_SCRIPT: return session.ExecuteScript(Text(command.text), timeoutMs);
    case NsChannel::CMD_JS_DIALOG_REPLY:
        return session.AnswerScriptDialog(command.answer, Text(command.text), timeoutMs);
    case NsChannel::CMD_FILE_DIALOG_REPLY: {
        std::vector<std::wstring> paths;
        for (const std::u16string& path : command.paths)
            paths.push_back(Text(path));
        return session.AnswerFileDialog(command.answer, paths, timeoutMs);
    }
    case NsChannel::CMD_CLOSE: return session.CloseHost(timeoutMs);
    default: return PH_BAD_ARGUMENT; // the queries go through Query
    }
}

} // namespace

CDriveSession::CDriveSession(int32_t index, IDriveOutput& output, uint32_t timeoutMs)
    : m_index(index),
      m_output(output),
      m_timeoutMs(timeoutMs)
{
}

CDriveSession::~CDriveSession()
{
    // The receiving thread's wait returns once the session is closed.
    m_session.Close(0);
    m_receiver.Join();
}

DriveExit CDriveSession::Failure(DriveExit exit, const std::wstring& message)
{
    m_output.Fail(message);
    return exit;
}

DriveExit CDriveSession::Open()
{
    const ph_status status = m_session.Open(m_index);
    if (status != PH_OK) {
        const std::string reason = ph_status_text(status);
        return Failure(DriveExit::StartFailed,
                       L"cannot open the channel: " + std::wstring(reason.begin(), reason.end()));
    }
    return DriveExit::Ok;
}

DriveExit CDriveSession::Launch(const std::wstring& hostPath, const std::vector<std::wstring>& switches,
                                const std::wstring& address)
{
    m_launched = true;
    const ph_status status = m_session.Launch(hostPath, address, switches, m_timeoutMs);
    if (status == PH_HOST_NOT_STARTED)
        return Failure(DriveExit::StartFailed, L"cannot start " + hostPath);
    if (status != PH_OK)
        return Failure(DriveExit::StartFailed, status == PH_HOST_ENDED ? L"the host ended before it opened the pipe"
                                                                       : L"the host did not open the pipe in time");
    return StartReceiving();
}

DriveExit CDriveSession::AwaitHost()
{
    if (m_session.Attach(0, m_timeoutMs) != PH_OK)
        return Failure(DriveExit::StartFailed, L"the host did not open the pipe in time");
    return StartReceiving();
}

DriveExit CDriveSession::StartReceiving()
{
    if (!m_receiver.Start(&CDriveSession::ReceiveThread, this))
        return Failure(DriveExit::StartFailed, L"cannot start the thread that receives events");
    return DriveExit::Ok;
}

DWORD WINAPI CDriveSession::ReceiveThread(void* session)
{
    static_cast<CDriveSession*>(session)->ReceiveEvents();
    return 0;
}

void CDriveSession::ReceiveEvents()
{
    pagehull::Event event;
    pagehull::Frame frame;
    for (;;) {
        const ph_status status = m_session.Wait(event, kReceiveSliceMs);
        if (status == PH_TIMEOUT)
            continue;
        if (status != PH_OK)
            return;
        if (event.kind == PH_EVENT_FRAME) {
            if (m_session.CopyFrame(frame) != PH_OK)
                continue;
            const std::lock_guard<std::mutex> guard(m_lock);
            std::swap(m_frame, frame);
            ++m_frameCount;
        } else if (event.kind == PH_EVENT_HOST_ENDED) {
            m_output.Print(L"hostExit: " + std::to_wstring(static_cast<DWORD>(event.value)));
            const std::lock_guard<std::mutex> guard(m_lock);
            m_hostEnded = true;
        } else {
            m_output.Print(L"event: " + event.raw);
            const std::lock_guard<std::mutex> guard(m_lock);
            m_events.push_back(event.raw);
        }
        m_changed.notify_all();
        if (event.kind == PH_EVENT_HOST_ENDED)
            return;
    }
}

bool CDriveSession::HostEnded()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_hostEnded;
}

DriveExit CDriveSession::Run(const std::vector<DriveStep>& steps)
{
    for (const DriveStep& step : steps) {
        const DriveExit exit = RunStep(step);
        if (exit != DriveExit::Ok)
            return exit;
    }
    return DriveExit::Ok;
}

DriveExit CDriveSession::RunStep(const DriveStep& step)
{
    switch (step.kind) {
    case StepKind::Send: return Send(step.commands);
    case StepKind::Query: return Query(step);
    case StepKind::WaitEvent: return WaitForEvent(step.pattern);
    case StepKind::WaitFrame: return WaitForFrame(step.width, step.height);
    case StepKind::SavePng: return SavePng(step.path);
    case StepKind::Close: {
        const DriveExit sent = Send(step.commands);
        return sent == DriveExit::Ok ? CloseHost(m_timeoutMs) : sent;
    }
    case StepKind::Timeout: m_timeoutMs = step.timeoutMs; return DriveExit::Ok;
    case StepKind::Page: return PageRequest(ToUtf8(step.pattern));
    }
    return DriveExit::Usage;
}

DriveExit CDriveSession::Send(const std::vector<NsChannel::Command>& commands)
{
    for (const NsChannel::Command& command : commands) {
        const ph_status status = SendCommand(m_session, command, m_timeoutMs);
        if (status == PH_TEXT_TOO_LONG || status == PH_BAD_ARGUMENT)
            return Failure(DriveExit::Usage, L"a command that cannot be encoded");
        if (status != PH_OK)
            return Failure(DriveExit::HostGone, L"cannot send a command: the host's pipe is gone or full");
    }
    return DriveExit::Ok;
}

DriveExit CDriveSession::Query(const DriveStep& step)
{
    std::wstring answer;
    std::wstring name;
    bool flag = false;
    ph_status status = PH_OK;
    switch (step.commands.front().code) {
    case NsChannel::CMD_CAN_GO_BACK:
        name = L"canGoBack";
        status = m_session.CanGoBack(flag, m_timeoutMs);
        answer = Flag(flag);
        break;
    case NsChannel::CMD_CAN_GO_FORWARD:
        name = L"canGoForward";
        status = m_session.CanGoForward(flag, m_timeoutMs);
        answer = Flag(flag);
        break;
    default:
        name = L"url";
        status = m_session.GetUrl(answer, m_timeoutMs);
        break;
    }
    if (status == PH_TIMEOUT)
        return Failure(DriveExit::TimedOut, L"no reply in time");
    if (status == PH_HOST_ENDED)
        return Failure(DriveExit::HostGone, L"the host ended before it replied");
    if (status != PH_OK)
        return Failure(DriveExit::HostGone, L"cannot send a command: the host's pipe is gone or full");
    m_output.Print(name + L": " + answer);
    if (!step.pattern.empty() && !GlobMatch(step.pattern, answer))
        return Failure(DriveExit::Mismatch, name + L" is '" + answer + L"', expected '" + step.pattern + L"'");
    return DriveExit::Ok;
}

// Event texts are consumed in order: a wait finds the first match after the previous
// wait's match, including texts that arrived before it started.
DriveExit CDriveSession::WaitForEvent(const std::wstring& pattern)
{
    std::unique_lock<std::mutex> guard(m_lock);
    bool found = false;
    const auto matchedOrEnded = [&] {
        for (; !found && m_eventCursor < m_events.size(); ++m_eventCursor)
            found = GlobMatch(pattern, m_events[m_eventCursor]);
        return found || m_hostEnded;
    };
    m_changed.wait_for(guard, std::chrono::milliseconds(m_timeoutMs), matchedOrEnded);
    if (found)
        return DriveExit::Ok;
    guard.unlock();
    return HostEnded() ? Failure(DriveExit::HostGone, L"the host ended before an event matched '" + pattern + L"'")
                       : Failure(DriveExit::TimedOut, L"no event matched '" + pattern + L"' in time");
}

DriveExit CDriveSession::WaitForFrame(int32_t width, int32_t height)
{
    std::unique_lock<std::mutex> guard(m_lock);
    const auto wanted = [&] {
        return m_frameCount > m_framesSeen && (width == 0 || (m_frame.width == width && m_frame.height == height));
    };
    const bool arrived = m_changed.wait_for(guard, std::chrono::milliseconds(m_timeoutMs), [&] {
        return wanted() || m_hostEnded;
    }) && wanted();
    if (!arrived) {
        const bool ended = m_hostEnded;
        guard.unlock();
        return ended ? Failure(DriveExit::HostGone, L"the host ended before a new frame came")
                     : Failure(DriveExit::TimedOut, L"no new frame in time");
    }
    m_framesSeen = m_frameCount;
    const std::wstring size = std::to_wstring(m_frame.width) + L"x" + std::to_wstring(m_frame.height);
    guard.unlock();
    m_output.Print(L"frame: " + size);
    return DriveExit::Ok;
}

DriveExit CDriveSession::SavePng(const std::wstring& path)
{
    pagehull::Frame frame;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_frameCount == 0)
            return Failure(DriveExit::NoPicture, L"no frame has arrived yet");
        frame = m_frame;
    }
    const std::vector<uint8_t> png = EncodePngFromBgra(frame.width, frame.height, frame.pixels.data());
    if (png.empty() || !WriteWholeFile(path, png))
        return Failure(DriveExit::NoPicture, L"cannot write " + path);
    m_output.Print(L"png: " + path + L" " + std::to_wstring(frame.width) + L"x" + std::to_wstring(frame.height));
    return DriveExit::Ok;
}

// The engine's pipe belongs to the browser process, whose id only a launched host gives.
DriveExit CDriveSession::PageRequest(const std::string& request)
{
    if (!m_launched)
        return Failure(DriveExit::Usage, L"'page' needs a host that pagehull-drive started");
    if (!m_engine.IsConnected() && !m_engine.Connect(m_session.HostProcessId(), m_timeoutMs))
        return Failure(DriveExit::StartFailed, L"the host has no scripted engine's control pipe");
    const std::optional<std::string> answer = m_engine.Request(request, m_timeoutMs);
    if (!answer)
        return HostEnded() ? Failure(DriveExit::HostGone, L"the host ended before the page answered")
                           : Failure(DriveExit::TimedOut, L"the page did not answer in time");
    m_output.Print(L"page: " + FromUtf8(*answer));
    if (answer->compare(0, 3, "ok ") != 0 && *answer != "ok")
        return Failure(DriveExit::Mismatch, L"the page refused '" + FromUtf8(request) + L"'");
    return DriveExit::Ok;
}

// A host the session did not start is not waited for.
DriveExit CDriveSession::CloseHost(uint32_t timeoutMs)
{
    if (!m_launched)
        return DriveExit::Ok;
    std::unique_lock<std::mutex> guard(m_lock);
    if (!m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return m_hostEnded; }))
        return Failure(DriveExit::TimedOut, L"the host did not end in time after the close command");
    return DriveExit::Ok;
}

DriveExit CDriveSession::Finish()
{
    if (!m_launched || HostEnded())
        return DriveExit::Ok;
    NsChannel::Command close;
    close.code = NsChannel::CMD_CLOSE;
    const DriveExit sent = Send({close});
    return sent == DriveExit::Ok ? CloseHost(std::max(m_timeoutMs, kDefaultTimeoutMs)) : sent;
}
