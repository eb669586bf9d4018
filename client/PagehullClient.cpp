// The C interface: handles checked against the live sessions, arguments checked, and every C++
// failure turned into a status at the boundary.

#include "pagehull_client.h"

#include "ChannelControl.h"
#include "ClientSession.h"
#include "InputForwarding.h"
#include "SharedBlock.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

using NsClient::CClientSession;

namespace {

// Indexes are tried from 0 up to this when any free one will do.
constexpr int32_t kMaxAutoIndex = 4096;
// How long ph_start and ph_open leave a failed half-made session to its host before ending it.
constexpr DWORD kAbandonTimeoutMs = 0;

// Handles are numbers never given out twice, so a closed one cannot name a later session. The
// registry is never destroyed: at the process's end, sessions left open are not torn down under
// the loader lock (their hosts go with the job).
class CRegistry {
public:
    static CRegistry& Instance()
    {
        static CRegistry* registry = new CRegistry;
        return *registry;
    }

    // Reserves a free index, or the given one when no other channel of this process uses it.
    ph_status Reserve(int32_t wanted, int32_t& index)
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (wanted != PH_ANY_INDEX) {
            if (!IsFree(wanted))
                return PH_INDEX_TAKEN;
            index = wanted;
        } else {
            index = 0;
            while (index < kMaxAutoIndex && !IsFree(index))
                ++index;
            if (index == kMaxAutoIndex)
                return PH_INDEX_TAKEN;
        }
        m_indexes.insert(index);
        return PH_OK;
    }

    ph_session* Add(std::shared_ptr<CClientSession> session)
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        const uintptr_t handle = ++m_lastHandle;
        m_sessions.emplace(handle, std::move(session));
        return reinterpret_cast<ph_session*>(handle);
    }

    std::shared_ptr<CClientSession> Find(ph_session* handle)
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        const auto found = m_sessions.find(reinterpret_cast<uintptr_t>(handle));
        return found == m_sessions.end() ? nullptr : found->second;
    }

    std::shared_ptr<CClientSession> Remove(ph_session* handle)
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        const auto found = m_sessions.find(reinterpret_cast<uintptr_t>(handle));
        if (found == m_sessions.end())
            return nullptr;
        std::shared_ptr<CClientSession> session = std::move(found->second);
        m_sessions.erase(found);
        return session;
    }

    void Release(int32_t index)
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_indexes.erase(index);
    }

private:
    // A channel of this process made without this library, or a host of an earlier session
    // still running, holds the key's shared block.
    bool IsFree(int32_t index) const
    {
        if (index == -1 || m_indexes.count(index) != 0)
            return false;
        const std::wstring name =
            CChannelControl::ObjectName(ChannelObject::Memory, static_cast<int32_t>(::GetCurrentProcessId()), index);
        const NsWin32::CKernelHandle existing(::OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
        return !existing;
    }

    std::mutex m_lock;
    std::set<int32_t> m_indexes;
    std::map<uintptr_t, std::shared_ptr<CClientSession>> m_sessions;
    uintptr_t m_lastHandle = 0;
};

void CloseSession(const std::shared_ptr<CClientSession>& session, DWORD timeoutMs)
{
    session->Close(timeoutMs);
    CRegistry::Instance().Release(session->Index());
}

// The shared part of ph_open and ph_start: a reserved index and an open channel.
ph_status OpenSession(int32_t wanted, std::shared_ptr<CClientSession>& session)
{
    int32_t index = 0;
    const ph_status reserved = CRegistry::Instance().Reserve(wanted, index);
    if (reserved != PH_OK)
        return reserved;
    session = std::make_shared<CClientSession>(index);
    const ph_status opened = session->Open();
    if (opened != PH_OK)
        CloseSession(session, kAbandonTimeoutMs);
    return opened;
}

// Runs body with the live session behind handle; the boundary that no exception crosses.
template <typename Body>
ph_status WithSession(ph_session* handle, Body&& body) noexcept
{
    try {
        const std::shared_ptr<CClientSession> session = CRegistry::Instance().Find(handle);
        if (!session)
            return PH_BAD_SESSION;
        return body(*session);
    } catch (...) {
        return PH_SYSTEM_ERROR;
    }
}

template <typename Body>
ph_status Guarded(Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return PH_SYSTEM_ERROR;
    }
}

std::u16string ToU16(const wchar_t* text)
{
    return text ? std::u16string(text, text + std::wcslen(text)) : std::u16string();
}

ph_status SendCommand(ph_session* handle, NsChannel::Command command, uint32_t timeoutMs)
{
    return WithSession(handle, [&](CClientSession& session) { return session.Send(command, timeoutMs); });
}

NsChannel::Command MakeCommand(NsChannel::CommandCode code)
{
    NsChannel::Command command;
    command.code = code;
    return command;
}

// A command whose one argument is a text (an address, a script).
ph_status SendTextCommand(ph_session* handle, NsChannel::CommandCode code, const wchar_t* text, uint32_t timeoutMs)
{
    if (text == nullptr)
        return PH_BAD_ARGUMENT;
    return Guarded([&] {
        NsChannel::Command command = MakeCommand(code);
        command.text = ToU16(text);
        return SendCommand(handle, command, timeoutMs);
    });
}

NsChannel::Command MouseCommand(NsChannel::CommandCode code, int32_t x, int32_t y, int32_t modifiers)
{
    NsChannel::Command command = MakeCommand(code);
    command.x = x;
    command.y = y;
    command.modifiers = modifiers;
    return command;
}

ph_status QueryFlag(ph_session* handle, NsChannel::CommandCode code, int32_t* result, uint32_t timeoutMs)
{
    if (result == nullptr)
        return PH_BAD_ARGUMENT;
    return WithSession(handle, [&](CClientSession& session) {
        NsChannel::Reply reply;
        const ph_status status = session.Query(code, reply, timeoutMs);
        if (status == PH_OK)
            *result = reply.flag ? 1 : 0;
        return status;
    });
}

bool ReadStartOptions(const ph_start_options* options, std::vector<std::wstring>& switches) noexcept
{
    if (options == nullptr || options->size < sizeof(ph_start_options) || options->host_path == nullptr ||
        options->address == nullptr || (options->switch_count > 0 && options->switches == nullptr))
        return false;
    try {
        for (uint32_t i = 0; i < options->switch_count; ++i) {
            if (options->switches[i] == nullptr)
                return false;
            switches.emplace_back(options->switches[i]);
        }
    } catch (...) {
        return false;
    }
    return true;
}

void FillEvent(const NsClient::CTypedEvent& typed, ph_event& event)
{
    const std::vector<const wchar_t*>& filters = typed.filterTexts;
    event.kind = typed.kind;
    event.raw = typed.raw.c_str();
    event.text = typed.text.c_str();
    event.default_text = typed.defaultText.c_str();
    event.value = typed.value;
    event.width = typed.width;
    event.height = typed.height;
    event.filters = filters.empty() ? nullptr : filters.data();
    event.filter_count = static_cast<uint32_t>(filters.size());
}

} // namespace

extern "C" {

const char* PH_CALL ph_status_text(ph_status status)
{
    switch (status) {
    case PH_OK: return "success";
    case PH_TIMEOUT: return "nothing came within the time-out";
    case PH_HOST_ENDED: return "the host has ended";
    case PH_BAD_SESSION: return "no such session (null, or already closed)";
    case PH_BAD_ARGUMENT: return "an argument is null or out of range";
    case PH_INDEX_TAKEN: return "another channel of this process uses the instance index";
    case PH_HOST_NOT_STARTED: return "the host's program could not be started";
    case PH_NO_HOST: return "no host has opened its end of the channel";
    case PH_CHANNEL_FAILED: return "the channel's shared objects could not be created";
    case PH_SEND_FAILED: return "the command could not be written to the host's pipe";
    case PH_BUFFER_TOO_SMALL: return "the buffer is too small";
    case PH_NO_FRAME: return "the host has not published a frame yet";
    case PH_TEXT_TOO_LONG: return "the text does not fit the command";
    case PH_CLOSED: return "the session was closed during the call";
    case PH_SYSTEM_ERROR: return "out of memory, or a system call failed";
    }
    return "unknown status";
}

ph_status PH_CALL ph_open(int32_t index, ph_session** session)
{
    if (session == nullptr)
        return PH_BAD_ARGUMENT;
    *session = nullptr;
    return Guarded([&] {
        std::shared_ptr<CClientSession> opened;
        const ph_status status = OpenSession(index, opened);
        if (status == PH_OK)
            *session = CRegistry::Instance().Add(std::move(opened));
        return status;
    });
}

ph_status PH_CALL ph_start(const ph_start_options* options, ph_session** session)
{
    if (session == nullptr)
        return PH_BAD_ARGUMENT;
    *session = nullptr;
    std::vector<std::wstring> switches;
    if (!ReadStartOptions(options, switches))
        return PH_BAD_ARGUMENT;
    return Guarded([&] {
        std::shared_ptr<CClientSession> opened;
        ph_status status = OpenSession(PH_ANY_INDEX, opened);
        if (status != PH_OK)
            return status;
        status = opened->Start(options->host_path, switches, options->address, options->timeout_ms);
        if (status != PH_OK) {
            CloseSession(opened, kAbandonTimeoutMs);
            return status;
        }
        *session = CRegistry::Instance().Add(std::move(opened));
        return PH_OK;
    });
}

ph_status PH_CALL ph_launch(ph_session* session, const ph_start_options* options)
{
    std::vector<std::wstring> switches;
    if (!ReadStartOptions(options, switches))
        return PH_BAD_ARGUMENT;
    return WithSession(session, [&](CClientSession& open) {
        return open.Start(options->host_path, switches, options->address, options->timeout_ms);
    });
}

ph_status PH_CALL ph_get_index(ph_session* session, int32_t* index)
{
    if (index == nullptr)
        return PH_BAD_ARGUMENT;
    return WithSession(session, [&](CClientSession& open) {
        *index = open.Index();
        return PH_OK;
    });
}

ph_status PH_CALL ph_attach(ph_session* session, uint32_t hostProcessId, uint32_t timeoutMs)
{
    return WithSession(session, [&](CClientSession& open) { return open.Attach(hostProcessId, timeoutMs); });
}

ph_status PH_CALL ph_get_host_process_id(ph_session* session, uint32_t* processId)
{
    if (processId == nullptr)
        return PH_BAD_ARGUMENT;
    return WithSession(session, [&](CClientSession& open) {
        *processId = open.HostProcessId();
        return PH_OK;
    });
}

ph_status PH_CALL ph_close(ph_session* session, uint32_t timeoutMs)
{
    return Guarded([&] {
        const std::shared_ptr<CClientSession> removed = CRegistry::Instance().Remove(session);
        if (!removed)
            return PH_BAD_SESSION;
        CloseSession(removed, timeoutMs);
        return PH_OK;
    });
}

ph_status PH_CALL ph_wait(ph_session* session, ph_event* event, uint32_t timeoutMs)
{
    if (event == nullptr || event->size < sizeof(ph_event))
        return PH_BAD_ARGUMENT;
    return WithSession(session, [&](CClientSession& open) {
        const NsClient::CTypedEvent* typed = nullptr;
        const ph_status status = open.Wait(timeoutMs, typed);
        if (status == PH_OK)
            FillEvent(*typed, *event);
        return status;
    });
}

ph_status PH_CALL ph_copy_frame(ph_session* session, void* pixels, uint32_t capacity, int32_t* width, int32_t* height,
                                uint32_t* byteCount)
{
    if (width == nullptr || height == nullptr || byteCount == nullptr)
        return PH_BAD_ARGUMENT;
    return WithSession(
        session, [&](CClientSession& open) { return open.CopyFrame(pixels, capacity, *width, *height, *byteCount); });
}

ph_status PH_CALL ph_mouse_move(ph_session* session, int32_t x, int32_t y, int32_t modifiers, uint32_t timeoutMs)
{
    return SendCommand(session, MouseCommand(NsChannel::CMD_MOUSE_MOVE, x, y, modifiers), timeoutMs);
}

ph_status PH_CALL ph_mouse_click(ph_session* session, int32_t x, int32_t y, ph_mouse_button button, int32_t down,
                                 int32_t modifiers, uint32_t timeoutMs)
{
    if (button != PH_BUTTON_LEFT && button != PH_BUTTON_RIGHT)
        return PH_BAD_ARGUMENT;
    NsChannel::Command command = MouseCommand(NsChannel::CMD_MOUSE_CLICK, x, y, modifiers);
    command.leftButton = button == PH_BUTTON_LEFT;
    command.buttonDown = down != 0;
    return SendCommand(session, command, timeoutMs);
}

ph_status PH_CALL ph_mouse_wheel(ph_session* session, int32_t x, int32_t y, int32_t deltaX, int32_t deltaY,
                                 int32_t modifiers, uint32_t timeoutMs)
{
    NsChannel::Command command = MouseCommand(NsChannel::CMD_MOUSE_WHEEL, x, y, modifiers);
    command.deltaX = deltaX;
    command.deltaY = deltaY;
    return SendCommand(session, command, timeoutMs);
}

ph_status PH_CALL ph_key(ph_session* session, ph_key_kind kind, int32_t keyCode, int32_t systemKey, uint32_t timeoutMs)
{
    if (kind != PH_KEY_DOWN && kind != PH_KEY_UP && kind != PH_KEY_CHAR)
        return PH_BAD_ARGUMENT;
    NsChannel::Command command = MakeCommand(NsChannel::CMD_KEY);
    command.keyCode = keyCode;
    command.keyDown = kind == PH_KEY_DOWN;
    command.keyUp = kind == PH_KEY_UP;
    command.systemKey = systemKey != 0;
    return SendCommand(session, command, timeoutMs);
}

ph_status PH_CALL ph_focus(ph_session* session, int32_t focused, uint32_t timeoutMs)
{
    NsChannel::Command command = MakeCommand(NsChannel::CMD_FOCUS);
    command.focused = focused != 0;
    return SendCommand(session, command, timeoutMs);
}

ph_status PH_CALL ph_resize(ph_session* session, int32_t width, int32_t height, uint32_t timeoutMs)
{
    if (width <= 0 || height <= 0 || width > static_cast<int32_t>(NsChannel::kMaxFrameWidth) ||
        height > static_cast<int32_t>(NsChannel::kMaxFrameHeight))
        return PH_BAD_ARGUMENT;
    NsChannel::Command command = MakeCommand(NsChannel::CMD_RESIZE);
    command.width = width;
    command.height = height;
    return SendCommand(session, command, timeoutMs);
}

ph_status PH_CALL ph_load_url(ph_session* session, const wchar_t* url, uint32_t timeoutMs)
{
    return SendTextCommand(session, NsChannel::CMD_LOAD_URL, url, timeoutMs);
}

ph_status PH_CALL ph_execute_script(ph_session* session, const wchar_t* script, uint32_t timeoutMs)
{
    return SendTextCommand(session, NsChannel::CMD_EXECUTE_SCRIPT, script, timeoutMs);
}

ph_status PH_CALL ph_go_back(ph_session* session, uint32_t timeoutMs)
{
    return SendCommand(session, MakeCommand(NsChannel::CMD_GO_BACK), timeoutMs);
}

ph_status PH_CALL ph_go_forward(ph_session* session, uint32_t timeoutMs)
{
    return SendCommand(session, MakeCommand(NsChannel::CMD_GO_FORWARD), timeoutMs);
}

ph_status PH_CALL ph_answer_script_dialog(ph_session* session, int32_t accepted, const wchar_t* input,
                                          uint32_t timeoutMs)
{
    return Guarded([&] {
        NsChannel::Command command = MakeCommand(NsChannel::CMD_JS_DIALOG_REPLY);
        command.answer = accepted != 0;
        command.text = ToU16(input);
        return SendCommand(session, command, timeoutMs);
    });
}

ph_status PH_CALL ph_answer_file_dialog(ph_session* session, int32_t accepted, const wchar_t* const* paths,
                                        uint32_t pathCount, uint32_t timeoutMs)
{
    if (pathCount > 0 && paths == nullptr)
        return PH_BAD_ARGUMENT;
    return Guarded([&] {
        NsChannel::Command command = MakeCommand(NsChannel::CMD_FILE_DIALOG_REPLY);
        command.answer = accepted != 0;
        for (uint32_t i = 0; i < pathCount; ++i) {
            if (paths[i] == nullptr)
                return PH_BAD_ARGUMENT;
            command.paths.push_back(ToU16(paths[i]));
            // A "|" would split one path into two on the host's side.
            if (command.paths.back().find(u'|') != std::u16string::npos)
                return PH_TEXT_TOO_LONG;
        }
        command.text = NsChannel::JoinPathList(command.paths);
        return SendCommand(session, command, timeoutMs);
    });
}

ph_status PH_CALL ph_close_host(ph_session* session, uint32_t timeoutMs)
{
    return SendCommand(session, MakeCommand(NsChannel::CMD_CLOSE), timeoutMs);
}

ph_status PH_CALL ph_can_go_back(ph_session* session, int32_t* result, uint32_t timeoutMs)
{
    return QueryFlag(session, NsChannel::CMD_CAN_GO_BACK, result, timeoutMs);
}

ph_status PH_CALL ph_can_go_forward(ph_session* session, int32_t* result, uint32_t timeoutMs)
{
    return QueryFlag(session, NsChannel::CMD_CAN_GO_FORWARD, result, timeoutMs);
}

ph_status PH_CALL ph_get_url(ph_session* session, wchar_t* buffer, uint32_t capacity, uint32_t* length,
                             uint32_t timeoutMs)
{
    if (length == nullptr)
        return PH_BAD_ARGUMENT;
    return WithSession(session, [&](CClientSession& open) {
        NsChannel::Reply reply;
        const ph_status status = open.Query(NsChannel::CMD_GET_URL, reply, timeoutMs);
        if (status != PH_OK)
            return status;
        *length = static_cast<uint32_t>(reply.url.size());
        if (buffer == nullptr || capacity <= reply.url.size())
            return PH_BUFFER_TOO_SMALL;
        std::copy(reply.url.begin(), reply.url.end(), buffer);
        buffer[reply.url.size()] = L'\0';
        return PH_OK;
    });
}

ph_status PH_CALL ph_forward_input(ph_session* session, void* window, uint32_t message, uintptr_t wparam,
                                   intptr_t lparam, uint32_t timeoutMs, int32_t* handled)
{
    return WithSession(session, [&](CClientSession& open) {
        bool isInput = false;
        const std::vector<NsChannel::Command> commands = NsClient::InputCommands(
            static_cast<HWND>(window), message, static_cast<WPARAM>(wparam), static_cast<LPARAM>(lparam), isInput);
        if (handled != nullptr)
            *handled = isInput ? 1 : 0;
        const NsWin32::CDeadline deadline(timeoutMs);
        for (const NsChannel::Command& command : commands) {
            const ph_status status = open.Send(command, deadline.Remaining());
            if (status != PH_OK)
                return status;
        }
        return PH_OK;
    });
}

} // extern "C"
