#include "DriveSession.h"

#include "PngWriter.h"
#include "Utf8.h"
#include "SharedBlock.h"

#include <chrono>

namespace {

constexpr DWORD kExitCodeUnknown = 0xFFFFFFFF;

std::wstring Flag(bool value)
{
    return value ? L"true" : L"false";
}

// Quotes one argument so that the usual command-line parser gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    NsWin32::CFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

} // namespace

CDriveSession::CDriveSession(int32_t processId, int32_t index, IDriveOutput& output, uint32_t timeoutMs)
    : m_processId(processId),
      m_index(index),
      m_output(output),
      m_timeoutMs(timeoutMs),
      m_channel(processId, index, this),
      m_stopWatch(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CDriveSession::~CDriveSession()
{
    // The channel's thread and the watch both call into this object: end them first.
    m_channel.Close();
    ::SetEvent(m_stopWatch.Get());
    m_watchThread.Join();
}

DriveExit CDriveSession::Failure(DriveExit exit, const std::wstring& message)
{
    m_output.Fail(message);
    return exit;
}

DriveExit CDriveSession::Open()
{
    if (!m_stopWatch || !m_channel.Open(true))
        return Failure(DriveExit::StartFailed, L"cannot open the channel (is another add-in using this key?)");
    return DriveExit::Ok;
}

DriveExit CDriveSession::Launch(const std::wstring& hostPath, const std::vector<std::wstring>& switches,
                                const std::wstring& address)
{
    std::wstring commandLine =
        QuoteArgument(hostPath) + L" --idx=" + std::to_wstring(m_index) + L" --pid=" + std::to_wstring(m_processId);
    for (const std::wstring& value : switches)
        commandLine += L" " + QuoteArgument(value);
    commandLine += L" " + QuoteArgument(address);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(hostPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return Failure(DriveExit::StartFailed, L"cannot start " + hostPath);
    const NsWin32::CKernelHandle thread(process.hThread);
    m_hostProcess.Reset(process.hProcess);
    if (!m_watchThread.Start(&CDriveSession::WatchHost, this))
        return Failure(DriveExit::StartFailed, L"cannot watch the host's process");
    return AwaitHost();
}

DriveExit CDriveSession::AwaitHost()
{
    if (m_channel.WaitForClient(m_timeoutMs, m_hostProcess.Get()))
        return DriveExit::Ok;
    return Failure(DriveExit::StartFailed, HostEnded() ? L"the host ended before it opened the pipe"
                                                       : L"the host did not open the pipe in time");
}

DWORD WINAPI CDriveSession::WatchHost(void* session)
{
    auto* self = static_cast<CDriveSession*>(session);
    // The process comes first: a host that has ended is always reported, even when the
    // session stops at the same moment.
    const HANDLE handles[2] = {self->m_hostProcess.Get(), self->m_stopWatch.Get()};
    if (::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0)
        self->OnHostEnded();
    return 0;
}

void CDriveSession::OnHostEnded()
{
    DWORD exitCode = kExitCodeUnknown;
    ::GetExitCodeProcess(m_hostProcess.Get(), &exitCode);
    m_output.Print(L"hostExit: " + std::to_wstring(exitCode));
    const std::lock_guard<std::mutex> guard(m_lock);
    m_hostEnded = true;
    m_changed.notify_all();
}

bool CDriveSession::HostEnded()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_hostEnded;
}

void CDriveSession::OnFrameData(const unsigned char* frameHeader, uint32_t blockSize)
{
    NsChannel::FrameInfo info;
    if (blockSize < NsChannel::kFrameHeaderOffset ||
        !NsChannel::ReadFrameHeader(frameHeader, blockSize - NsChannel::kFrameHeaderOffset, info))
        return;
    const unsigned char* pixels = frameHeader + NsChannel::kFrameHeaderSize;
    const std::lock_guard<std::mutex> guard(m_lock);
    m_frame.width = info.width;
    m_frame.height = info.height;
    m_frame.pixels.assign(pixels, pixels + info.pixelBytes);
    ++m_frameCount;
    m_changed.notify_all();
}

void CDriveSession::OnBrowserEventData(const wchar_t* text, size_t length)
{
    const std::u16string area(text, text + length);
    const std::vector<std::u16string> events = NsChannel::SplitEventTexts(area);
    for (const auto& event : events)
        m_output.Print(L"event: " + std::wstring(event.begin(), event.end()));
    const std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& event : events)
        m_events.emplace_back(event.begin(), event.end());
    m_changed.notify_all();
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
        return sent == DriveExit::Ok ? CloseHost() : sent;
    }
    case StepKind::Timeout: m_timeoutMs = step.timeoutMs; return DriveExit::Ok;
    case StepKind::Page: return PageRequest(ToUtf8(step.pattern));
    }
    return DriveExit::Usage;
}

DriveExit CDriveSession::Send(const std::vector<NsChannel::Command>& commands)
{
    for (const NsChannel::Command& command : commands) {
        NsChannel::CommandRecord record;
        if (!NsChannel::EncodeCommand(command, record))
            return Failure(DriveExit::Usage, L"a command that cannot be encoded");
        if (!m_channel.SendCommand(record, m_timeoutMs))
            return Failure(DriveExit::HostGone, L"cannot send a command: the host's pipe is gone or full");
    }
    return DriveExit::Ok;
}

DriveExit CDriveSession::Query(const DriveStep& step)
{
    const DriveExit sent = Send(step.commands);
    if (sent != DriveExit::Ok)
        return sent;
    NsChannel::ReplyRecord record;
    NsChannel::Reply reply;
    if (!m_channel.ReadReply(record, m_timeoutMs))
        return HostEnded() ? Failure(DriveExit::HostGone, L"the host ended before it replied")
                           : Failure(DriveExit::TimedOut, L"no reply in time");
    if (!NsChannel::DecodeReply(record.data(), record.size(), reply))
        return Failure(DriveExit::Mismatch, L"the reply is not a reply record");

    std::wstring answer;
    std::wstring name;
    switch (step.commands.front().code) {
    case NsChannel::CMD_CAN_GO_BACK:
        name = L"canGoBack";
        answer = Flag(reply.flag);
        break;
    case NsChannel::CMD_CAN_GO_FORWARD:
        name = L"canGoForward";
        answer = Flag(reply.flag);
        break;
    default:
        name = L"url";
        answer.assign(reply.url.begin(), reply.url.end());
        break;
    }
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
    Frame frame;
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
    if (!m_hostProcess)
        return Failure(DriveExit::Usage, L"'page' needs a host that pagehull-drive started");
    if (!m_engine.IsConnected() && !m_engine.Connect(::GetProcessId(m_hostProcess.Get()), m_timeoutMs))
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
DriveExit CDriveSession::CloseHost()
{
    if (!m_hostProcess)
        return DriveExit::Ok;
    if (::WaitForSingleObject(m_hostProcess.Get(), m_timeoutMs) != WAIT_OBJECT_0)
        return Failure(DriveExit::TimedOut, L"the host did not end in time after the close command");
    // The watch prints the exit code; let it do so before anything else is printed.
    m_watchThread.Join();
    return DriveExit::Ok;
}

DriveExit CDriveSession::Finish(bool leaveRunning)
{
    if (leaveRunning || !m_hostProcess || ::WaitForSingleObject(m_hostProcess.Get(), 0) == WAIT_OBJECT_0)
        return DriveExit::Ok;
    NsChannel::Command close;
    close.code = NsChannel::CMD_CLOSE;
    const DriveExit sent = Send({close});
    return sent == DriveExit::Ok ? CloseHost() : sent;
}
