// One WebSocket connection to Chromium's DevTools endpoint (Boost.Beast over Asio on winsock),
// served by a thread of its own. Commands go out in the order sent; every message that comes
// in is handed, parsed, to the message handler on that thread, except the answers to commands
// a caller waits for.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "engines/chromium_process.h"

namespace cefcompat {

class CDevToolsConnection {
public:
    using MessageFn = std::function<void(nlohmann::json& message)>;
    using ClosedFn = std::function<void()>;

    // The handlers run on the connection's thread; |onClosed| once, when the connection ends.
    CDevToolsConnection(MessageFn onMessage, ClosedFn onClosed);
    ~CDevToolsConnection();

    CDevToolsConnection(const CDevToolsConnection&) = delete;
    CDevToolsConnection& operator=(const CDevToolsConnection&) = delete;

    // Connects and starts the thread; false with |error| set when it cannot.
    bool Open(const CChromiumEndpoint& endpoint, std::string* error);
    // Any thread but the connection's: ends the connection and its thread. No handler runs after
    // it returns, while the owner still reaches this object through its pointer.
    void Stop();

    // Any thread. Returns the command's id; its answer reaches the message handler.
    int Send(const std::string& method, nlohmann::json params, const std::string& sessionId);
    // Any thread but the connection's: sends and waits for the answer, at most |timeoutMs|.
    // Nothing when the connection ended or the time ran out; the answer otherwise (which may
    // carry an "error" instead of a "result").
    std::optional<nlohmann::json> Call(const std::string& method, nlohmann::json params, const std::string& sessionId,
                                       int timeoutMs);

private:
    struct CState;
    void Run();
    // |awaited|: the answer is kept for Call instead of reaching the message handler.
    int Queue(const std::string& method, nlohmann::json params, const std::string& sessionId, bool awaited);

    std::shared_ptr<CState> m_state;
    std::thread m_thread;
};

} // namespace cefcompat
