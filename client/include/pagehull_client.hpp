#pragma once

// Owning C++ types over pagehull_client.h, header-only. A Session closes its host when it goes;
// events and frames are copied into standard containers, so they outlive the next wait. Calls
// return the C interface's status; the thread rules of pagehull_client.h apply unchanged: one
// thread may wait while another closes the session, and that wait returns.

#include "pagehull_client.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pagehull {

struct Event {
    ph_event_kind kind = PH_EVENT_OTHER;
    std::wstring raw;
    std::wstring text;
    std::wstring defaultText;
    int32_t value = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<std::wstring> filters;
};

struct Frame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels; // BGRA, rows top-down, 4 × width bytes a row

    // The pixel at (x, y) as 0x00RRGGBB.
    uint32_t At(int x, int y) const
    {
        const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
        return uint32_t{pixels[at + 2]} << 16 | uint32_t{pixels[at + 1]} << 8 | pixels[at];
    }
};

class Session {
public:
    Session() = default;
    ~Session() { Close(); }

    Session(Session&& other) noexcept : m_session(other.m_session.exchange(nullptr)) {}
    Session& operator=(Session&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_session = other.m_session.exchange(nullptr);
        }
        return *this;
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ph_status Start(const std::wstring& hostPath, const std::wstring& address,
                    const std::vector<std::wstring>& switches = {}, uint32_t timeoutMs = 30000)
    {
        Close();
        return WithOptions(hostPath, address, switches, timeoutMs, [this](const ph_start_options& options) {
            ph_session* session = nullptr;
            const ph_status status = ph_start(&options, &session);
            m_session = session;
            return status;
        });
    }

    // Starts the host of a session from Open.
    ph_status Launch(const std::wstring& hostPath, const std::wstring& address,
                     const std::vector<std::wstring>& switches = {}, uint32_t timeoutMs = 30000)
    {
        return WithOptions(hostPath, address, switches, timeoutMs,
                           [this](const ph_start_options& options) { return ph_launch(m_session, &options); });
    }

    // A channel for a host that someone else starts; then Attach.
    ph_status Open(int32_t index = PH_ANY_INDEX)
    {
        Close();
        ph_session* session = nullptr;
        const ph_status status = ph_open(index, &session);
        m_session = session;
        return status;
    }
    ph_status Attach(uint32_t hostProcessId, uint32_t timeoutMs)
    {
        return ph_attach(m_session, hostProcessId, timeoutMs);
    }

    // Closes the host (waiting up to timeoutMs before it is ended) and the session.
    ph_status Close(uint32_t timeoutMs = 5000)
    {
        ph_session* const session = m_session.exchange(nullptr);
        return session == nullptr ? PH_OK : ph_close(session, timeoutMs);
    }

    ph_session* Handle() const { return m_session; }

    int32_t Index() const
    {
        int32_t index = -1;
        ph_get_index(m_session, &index);
        return index;
    }
    uint32_t HostProcessId() const
    {
        uint32_t id = 0;
        ph_get_host_process_id(m_session, &id);
        return id;
    }

    ph_status Wait(Event& event, uint32_t timeoutMs)
    {
        ph_event next{};
        next.size = sizeof next;
        const ph_status status = ph_wait(m_session, &next, timeoutMs);
        if (status != PH_OK)
            return status;
        event.kind = next.kind;
        event.raw = next.raw;
        event.text = next.text;
        event.defaultText = next.default_text;
        event.value = next.value;
        event.width = next.width;
        event.height = next.height;
        event.filters.assign(next.filters, next.filters + next.filter_count);
        return PH_OK;
    }

    // The latest frame; the buffer grows when the frame does.
    ph_status CopyFrame(Frame& frame)
    {
        for (;;) {
            uint32_t bytes = 0;
            const ph_status status =
                ph_copy_frame(m_session, frame.pixels.data(), static_cast<uint32_t>(frame.pixels.size()), &frame.width,
                              &frame.height, &bytes);
            if (status != PH_BUFFER_TOO_SMALL) {
                if (status == PH_OK)
                    frame.pixels.resize(bytes);
                return status;
            }
            frame.pixels.resize(bytes);
        }
    }

    ph_status MouseMove(int32_t x, int32_t y, int32_t modifiers = 0, uint32_t timeoutMs = kTimeoutMs)
    {
        return ph_mouse_move(m_session, x, y, modifiers, timeoutMs);
    }
    ph_status MouseClick(int32_t x, int32_t y, ph_mouse_button button, bool down, int32_t modifiers = 0,
                         uint32_t timeoutMs = kTimeoutMs)
    {
        return ph_mouse_click(m_session, x, y, button, down ? 1 : 0, modifiers, timeoutMs);
    }
    // A press and a release.
    ph_status Click(int32_t x, int32_t y, ph_mouse_button button = PH_BUTTON_LEFT)
    {
        const ph_status down = MouseClick(x, y, button, true);
        return down != PH_OK ? down : MouseClick(x, y, button, false);
    }
    ph_status MouseWheel(int32_t x, int32_t y, int32_t deltaX, int32_t deltaY, int32_t modifiers = 0,
                         uint32_t timeoutMs = kTimeoutMs)
    {
        return ph_mouse_wheel(m_session, x, y, deltaX, deltaY, modifiers, timeoutMs);
    }
    ph_status Key(ph_key_kind kind, int32_t keyCode, bool systemKey = false, uint32_t timeoutMs = kTimeoutMs)
    {
        return ph_key(m_session, kind, keyCode, systemKey ? 1 : 0, timeoutMs);
    }
    // Each code unit as a character.
    ph_status Type(const std::wstring& text)
    {
        for (const wchar_t c : text) {
            const ph_status status = Key(PH_KEY_CHAR, c);
            if (status != PH_OK)
                return status;
        }
        return PH_OK;
    }
    ph_status Focus(bool focused, uint32_t timeoutMs = kTimeoutMs)
    {
        return ph_focus(m_session, focused ? 1 : 0, timeoutMs);
    }
    ph_status Resize(int32_t width, int32_t height, uint32_t timeoutMs = kTimeoutMs)
    {
        return ph_resize(m_session, width, height, timeoutMs);
    }
    ph_status LoadUrl(const std::wstring& url, uint32_t timeoutMs = kTimeoutMs)
    {
        return ph_load_url(m_session, url.c_str(), timeoutMs);
    }
    ph_status ExecuteScript(const std::wstring& script, uint32_t timeoutMs = kTimeoutMs)
    {
        return ph_execute_script(m_session, script.c_str(), timeoutMs);
    }
    ph_status GoBack(uint32_t timeoutMs = kTimeoutMs) { return ph_go_back(m_session, timeoutMs); }
    ph_status GoForward(uint32_t timeoutMs = kTimeoutMs) { return ph_go_forward(m_session, timeoutMs); }
    ph_status AnswerScriptDialog(bool accepted, const std::wstring& input = {}, uint32_t timeoutMs = kTimeoutMs)
    {
        return ph_answer_script_dialog(m_session, accepted ? 1 : 0, input.c_str(), timeoutMs);
    }
    ph_status AnswerFileDialog(bool accepted, const std::vector<std::wstring>& paths = {},
                               uint32_t timeoutMs = kTimeoutMs)
    {
        std::vector<const wchar_t*> texts;
        for (const std::wstring& path : paths)
            texts.push_back(path.c_str());
        return ph_answer_file_dialog(m_session, accepted ? 1 : 0, texts.empty() ? nullptr : texts.data(),
                                     static_cast<uint32_t>(texts.size()), timeoutMs);
    }
    ph_status CloseHost(uint32_t timeoutMs = kTimeoutMs) { return ph_close_host(m_session, timeoutMs); }

    ph_status CanGoBack(bool& result, uint32_t timeoutMs = kTimeoutMs)
    {
        return Flag(ph_can_go_back, result, timeoutMs);
    }
    ph_status CanGoForward(bool& result, uint32_t timeoutMs = kTimeoutMs)
    {
        return Flag(ph_can_go_forward, result, timeoutMs);
    }
    ph_status GetUrl(std::wstring& url, uint32_t timeoutMs = kTimeoutMs)
    {
        // A reply holds at most 2,083 code units.
        wchar_t buffer[2084];
        uint32_t length = 0;
        const ph_status status = ph_get_url(m_session, buffer, 2084, &length, timeoutMs);
        if (status == PH_OK)
            url.assign(buffer, length);
        return status;
    }

    // For a window procedure: sends what the message stands for; true when it was input.
    bool ForwardInput(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam,
                      uint32_t timeoutMs = kTimeoutMs)
    {
        int32_t handled = 0;
        ph_forward_input(m_session, window, message, wparam, lparam, timeoutMs, &handled);
        return handled != 0;
    }

    static constexpr uint32_t kTimeoutMs = 5000;

private:
    template <typename Call>
    static ph_status WithOptions(const std::wstring& hostPath, const std::wstring& address,
                                 const std::vector<std::wstring>& switches, uint32_t timeoutMs, Call call)
    {
        std::vector<const wchar_t*> arguments;
        for (const std::wstring& value : switches)
            arguments.push_back(value.c_str());
        ph_start_options options{};
        options.size = sizeof options;
        options.host_path = hostPath.c_str();
        options.address = address.c_str();
        options.switches = arguments.empty() ? nullptr : arguments.data();
        options.switch_count = static_cast<uint32_t>(arguments.size());
        options.timeout_ms = timeoutMs;
        return call(options);
    }

    template <typename Call>
    ph_status Flag(Call call, bool& result, uint32_t timeoutMs)
    {
        int32_t value = 0;
        const ph_status status = call(m_session, &value, timeoutMs);
        result = value != 0;
        return status;
    }

    std::atomic<ph_session*> m_session{nullptr};
};

} // namespace pagehull
