// What the engine says to Chromium and hears back, above the connection's messages: one
// session object per attached target (and one for the browser itself) owns its commands, the
// calls waiting for answers with their deadlines, and the events addressed to it. A call always
// ends in exactly one answer: Chromium's result, or an error answer when Chromium answered with
// an error or with something malformed, when the deadline passed, or when the connection ended.
// UI thread only, but for the inbox.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

namespace cefcompat {

using DevToolsClock = std::chrono::steady_clock;

struct CDevToolsAnswer {
    bool ok = false;
    nlohmann::json result = nlohmann::json::object(); // an object when ok
    std::string error; // why not, when not ok
};

// The answer a message with an id carries: ok only with an object "result".
CDevToolsAnswer AnswerOf(const nlohmann::json& message);

class CDevToolsSession {
public:
    using Json = nlohmann::json;
    // The connection's Send: returns the command's id, unique on the connection.
    using SendFn = std::function<int(const std::string& method, Json params, const std::string& sessionId)>;
    using AnswerFn = std::function<void(const CDevToolsAnswer& answer)>;
    using EventFn = std::function<void(const std::string& method, const Json& params)>;
    // Told the deadline of every call made.
    using ArmFn = std::function<void(DevToolsClock::time_point deadline)>;

    static constexpr std::chrono::milliseconds kDefaultDeadline{30000};

    // |id| is the DevTools session id, empty for the browser itself.
    CDevToolsSession(SendFn send, std::string id, EventFn onEvent, ArmFn arm);
    CDevToolsSession(const CDevToolsSession&) = delete;
    CDevToolsSession& operator=(const CDevToolsSession&) = delete;

    const std::string& Id() const { return m_id; }

    // A command whose answer nobody needs.
    void Send(const std::string& method, Json params);
    void Call(const std::string& method, Json params, AnswerFn onAnswer,
              std::chrono::milliseconds deadline = kDefaultDeadline);
    // A call whose answer keeps its place among the events: the session's later events wait
    // until |onAnswer| has run.
    void CallInOrder(const std::string& method, Json params, AnswerFn onAnswer,
                     std::chrono::milliseconds deadline = kDefaultDeadline);

    // The session's later events wait until |release| has been called or |deadline| has passed:
    // for what the page started that ends elsewhere (a native function's call).
    std::function<void()> HoldEvents(std::chrono::milliseconds deadline);

    // True when |message| answered a call of this session; its answer has run.
    bool TakeAnswer(const Json& message);
    // An event addressed to this session: handed on now, or once the calls in order before it
    // have their answers.
    void TakeEvent(Json message);
    // Calls whose deadline has passed by |now| get their error answer.
    void Expire(DevToolsClock::time_point now);
    std::optional<DevToolsClock::time_point> NextDeadline() const;
    // The target or the connection is gone: every open call gets an error answer, held events
    // are dropped and later commands go nowhere.
    void Close(const std::string& reason);

private:
    struct CCall {
        AnswerFn onAnswer;
        DevToolsClock::time_point deadline;
    };

    // The call's id, 0 when the session is closed (the error answer has run).
    int Start(const std::string& method, Json params, AnswerFn onAnswer, std::chrono::milliseconds deadline);
    void Finish(int id, const CDevToolsAnswer& answer);
    void Drain();

    SendFn m_send;
    const std::string m_id;
    EventFn m_onEvent;
    ArmFn m_arm;
    bool m_closed = false;
    std::map<int, CCall> m_calls;
    int m_holdingFor = 0; // the call in order (or the hold) that events wait for
    int m_lastHold = 0; // holds count down from -1, apart from Chromium's ids
    std::deque<Json> m_held;
    // Answers and events run client hooks, which may close this session or call again.
    std::shared_ptr<bool> m_alive;
};

// The messages on their way from the connection's thread to the UI thread, bounded in count and
// bytes: when it is full, the connection's thread waits for room (Chromium then holds what it
// has not yet sent), so nothing is dropped and nothing grows without limit.
class CDevToolsInbox {
public:
    using Json = nlohmann::json;
    // Posts one task to the UI thread. Any thread.
    using PostFn = std::function<void(std::function<void()> task)>;
    // UI thread.
    using DeliverFn = std::function<void(Json& message)>;

    static constexpr size_t kMaxMessages = 4096;
    static constexpr size_t kMaxBytes = 32 * 1024 * 1024;

    // |post| runs its task only while the owner exists.
    CDevToolsInbox(PostFn post, DeliverFn deliver);
    CDevToolsInbox(const CDevToolsInbox&) = delete;
    CDevToolsInbox& operator=(const CDevToolsInbox&) = delete;

    // The connection's thread: queues |message| of |bytes| bytes once there is room; a drain is
    // posted when none is under way. False once stopped.
    bool Push(Json message, size_t bytes);
    // Any thread: Push waits no longer and takes nothing more; what is queued is dropped.
    void Stop();
    // Takes messages again (a new connection).
    void Restart();

private:
    struct CEntry {
        Json message;
        size_t bytes;
    };

    // UI thread: the messages queued so far, in order, each handed to the deliverer.
    void Drain();

    const PostFn m_post;
    const DeliverFn m_deliver;
    std::mutex m_mutex;
    std::condition_variable m_room;
    std::deque<CEntry> m_entries;
    size_t m_bytes = 0;
    bool m_drainPosted = false;
    bool m_stopped = false;
};

// Calls |onDue| on a thread of its own when the earliest deadline set has come (the owner posts
// the expiry to the UI thread). The thread ends with this object.
class CDeadlineTimer {
public:
    explicit CDeadlineTimer(std::function<void()> onDue);
    ~CDeadlineTimer();
    CDeadlineTimer(const CDeadlineTimer&) = delete;
    CDeadlineTimer& operator=(const CDeadlineTimer&) = delete;

    // Any thread: |onDue| runs at |when| at the latest (earlier when an earlier one is set).
    void At(DevToolsClock::time_point when);

private:
    void Run();

    const std::function<void()> m_onDue;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<DevToolsClock::time_point> m_next;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace cefcompat
