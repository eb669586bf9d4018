#include "engines/devtools_session.h"

#include <utility>

namespace cefcompat {

CDevToolsAnswer AnswerOf(const nlohmann::json& message)
{
    CDevToolsAnswer answer;
    const auto result = message.find("result");
    if (result != message.end() && result->is_object()) {
        answer.ok = true;
        answer.result = *result;
        return answer;
    }
    const auto error = message.find("error");
    answer.error = "malformed answer";
    if (error == message.end() || !error->is_object())
        return answer;
    const auto text = error->find("message");
    if (text != error->end() && text->is_string())
        answer.error = text->get<std::string>();
    return answer;
}

CDevToolsSession::CDevToolsSession(SendFn send, std::string id, EventFn onEvent, ArmFn arm)
    : m_send(std::move(send)),
      m_id(std::move(id)),
      m_onEvent(std::move(onEvent)),
      m_arm(std::move(arm)),
      m_alive(std::make_shared<bool>(true))
{
}

void CDevToolsSession::Send(const std::string& method, Json params)
{
    if (!m_closed)
        m_send(method, std::move(params), m_id);
}

void CDevToolsSession::Call(const std::string& method, Json params, AnswerFn onAnswer,
                            std::chrono::milliseconds deadline)
{
    Start(method, std::move(params), std::move(onAnswer), deadline);
}

void CDevToolsSession::CallInOrder(const std::string& method, Json params, AnswerFn onAnswer,
                                   std::chrono::milliseconds deadline)
{
    const int id = Start(method, std::move(params), std::move(onAnswer), deadline);
    if (id != 0)
        m_holdingFor = id;
}

int CDevToolsSession::Start(const std::string& method, Json params, AnswerFn onAnswer,
                            std::chrono::milliseconds deadline)
{
    if (m_closed) {
        CDevToolsAnswer closed;
        closed.error = "closed";
        onAnswer(closed);
        return 0;
    }
    const int id = m_send(method, std::move(params), m_id);
    const DevToolsClock::time_point due = DevToolsClock::now() + deadline;
    m_calls[id] = CCall{std::move(onAnswer), due};
    m_arm(due);
    return id;
}

std::function<void()> CDevToolsSession::HoldEvents(std::chrono::milliseconds deadline)
{
    if (m_closed)
        return []() {};
    const int id = --m_lastHold;
    const DevToolsClock::time_point due = DevToolsClock::now() + deadline;
    m_calls[id] = CCall{[](const CDevToolsAnswer&) {}, due};
    m_holdingFor = id;
    m_arm(due);
    std::weak_ptr<bool> alive = m_alive;
    return [this, alive, id]() {
        CDevToolsAnswer released;
        released.ok = true;
        if (alive.lock())
            Finish(id, released);
    };
}

bool CDevToolsSession::TakeAnswer(const Json& message)
{
    const auto id = message.find("id");
    if (id == message.end() || !id->is_number_integer() || !m_calls.count(id->get<int>()))
        return false;
    Finish(id->get<int>(), AnswerOf(message));
    return true;
}

void CDevToolsSession::Finish(int id, const CDevToolsAnswer& answer)
{
    auto call = m_calls.find(id);
    if (call == m_calls.end())
        return;
    const AnswerFn onAnswer = std::move(call->second.onAnswer);
    m_calls.erase(call);
    std::weak_ptr<bool> alive = m_alive;
    onAnswer(answer);
    if (!alive.lock() || id != m_holdingFor)
        return;
    m_holdingFor = 0;
    Drain();
}

void CDevToolsSession::TakeEvent(Json message)
{
    if (m_closed)
        return;
    m_held.push_back(std::move(message));
    Drain();
}

void CDevToolsSession::Drain()
{
    std::weak_ptr<bool> alive = m_alive;
    while (m_holdingFor == 0 && !m_held.empty()) {
        const Json message = std::move(m_held.front());
        m_held.pop_front();
        const auto params = message.find("params");
        const auto method = message.find("method");
        if (method == message.end() || !method->is_string())
            continue;
        m_onEvent(method->get<std::string>(),
                  params != message.end() && params->is_object() ? *params : Json::object());
        if (!alive.lock())
            return;
    }
}

void CDevToolsSession::Expire(DevToolsClock::time_point now)
{
    std::weak_ptr<bool> alive = m_alive;
    for (auto call = m_calls.begin(); call != m_calls.end();) {
        if (call->second.deadline > now) {
            ++call;
            continue;
        }
        const int id = call->first;
        CDevToolsAnswer late;
        late.error = "no answer in time";
        Finish(id, late);
        if (!alive.lock())
            return;
        // The answer may have started or ended other calls.
        call = m_calls.upper_bound(id);
    }
}

std::optional<DevToolsClock::time_point> CDevToolsSession::NextDeadline() const
{
    std::optional<DevToolsClock::time_point> next;
    for (const auto& call : m_calls) {
        if (!next || call.second.deadline < *next)
            next = call.second.deadline;
    }
    return next;
}

void CDevToolsSession::Close(const std::string& reason)
{
    if (m_closed)
        return;
    m_closed = true;
    m_held.clear();
    m_holdingFor = 0;
    std::weak_ptr<bool> alive = m_alive;
    while (!m_calls.empty()) {
        CDevToolsAnswer gone;
        gone.error = reason;
        Finish(m_calls.begin()->first, gone);
        if (!alive.lock())
            return;
    }
}

// --- Inbox ----------------------------------------------------------------------------------

CDevToolsInbox::CDevToolsInbox(PostFn post, DeliverFn deliver) : m_post(std::move(post)), m_deliver(std::move(deliver))
{
}

bool CDevToolsInbox::Push(Json message, size_t bytes)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // One message larger than the whole budget still passes, alone.
    m_room.wait(lock, [&]() {
        return m_stopped || m_entries.empty() || (m_entries.size() < kMaxMessages && m_bytes + bytes <= kMaxBytes);
    });
    if (m_stopped)
        return false;
    m_entries.push_back(CEntry{std::move(message), bytes});
    m_bytes += bytes;
    if (std::exchange(m_drainPosted, true))
        return true;
    lock.unlock();
    m_post([this]() { Drain(); });
    return true;
}

void CDevToolsInbox::Drain()
{
    std::deque<CEntry> entries;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        entries.swap(m_entries);
        m_bytes = 0;
        m_drainPosted = false;
    }
    m_room.notify_all();
    for (CEntry& entry : entries)
        m_deliver(entry.message);
}

void CDevToolsInbox::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        m_entries.clear();
        m_bytes = 0;
    }
    m_room.notify_all();
}

void CDevToolsInbox::Restart()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = false;
    m_drainPosted = false;
}

// --- Deadline timer -------------------------------------------------------------------------

CDeadlineTimer::CDeadlineTimer(std::function<void()> onDue) : m_onDue(std::move(onDue)), m_thread([this]() { Run(); })
{
}

CDeadlineTimer::~CDeadlineTimer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void CDeadlineTimer::At(DevToolsClock::time_point when)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_next && *m_next <= when)
            return;
        m_next = when;
    }
    m_changed.notify_all();
}

void CDeadlineTimer::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        if (!m_next) {
            m_changed.wait(lock);
            continue;
        }
        const DevToolsClock::time_point when = *m_next;
        if (m_changed.wait_until(lock, when) == std::cv_status::no_timeout)
            continue;
        if (m_next != when)
            continue;
        m_next.reset();
        lock.unlock();
        m_onDue();
        lock.lock();
    }
}

} // namespace cefcompat
