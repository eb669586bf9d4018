// The DevTools protocol over Chromium's debugging pipe: JSON messages, each ended by a NUL, on
// a stream only this process and Chromium hold (CChromiumProcess::DevToolsLink). A reader
// thread hands every message that comes in, parsed, to the message handler, except the answers
// to commands a caller waits for; a writer thread sends commands in the order they were sent,
// so that no caller waits for Chromium to read.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace cefcompat {

struct CDevToolsCommand {
    std::string method;
    nlohmann::json params;
    std::string sessionId;
};

class CDevToolsConnection {
public:
    using MessageFn = std::function<void(nlohmann::json& message)>;
    using ClosedFn = std::function<void()>;

    // A 1920 x 1080 frame in PNG is a few MiB in base64; nothing Chromium sends is near this.
    static constexpr size_t kMaxMessage = 64 * 1024 * 1024;

    // The handlers run on the reader thread; |onClosed| once, when the connection ends. A
    // message longer than |maxMessage| is dropped, with a line in the log; the stream goes on.
    CDevToolsConnection(MessageFn onMessage, ClosedFn onClosed, size_t maxMessage = kMaxMessage);
    ~CDevToolsConnection();

    CDevToolsConnection(const CDevToolsConnection&) = delete;
    CDevToolsConnection& operator=(const CDevToolsConnection&) = delete;

    // Starts the threads on |link|, which stays open until Stop has returned; false with
    // |error| set when they cannot start.
    bool Open(SOCKET link, std::string* error);
    // Any thread but the reader: ends the connection and its threads. No handler runs after it
    // returns, while the owner still reaches this object through its pointer.
    void Stop();

    // Any thread. Returns the command's id; its answer reaches the message handler.
    int Send(const std::string& method, nlohmann::json params, const std::string& sessionId);
    // Any thread but the reader: sends and waits for the answer, at most |timeoutMs|.
    // Nothing when the connection ended or the time ran out; the answer otherwise (which may
    // carry an "error" instead of a "result").
    std::optional<nlohmann::json> Call(const std::string& method, nlohmann::json params, const std::string& sessionId,
                                       int timeoutMs);
    // Any thread but the reader: sends every command at once and waits, at most |timeoutMs| in
    // all, for all their answers, each in its command's place. Chromium takes one session's
    // commands in the order they come, so commands that must follow each other need not wait
    // for each other's answers.
    std::vector<std::optional<nlohmann::json>> CallAll(const std::vector<CDevToolsCommand>& commands, int timeoutMs);

private:
    struct CState;
    // |awaited|: the answer is kept for Call instead of reaching the message handler.
    int Queue(const std::string& method, nlohmann::json params, const std::string& sessionId, bool awaited);

    std::shared_ptr<CState> m_state;
    std::thread m_reader;
    std::thread m_writer;
};

} // namespace cefcompat
