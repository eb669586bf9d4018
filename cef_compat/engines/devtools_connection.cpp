#include "engines/devtools_connection.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <vector>

#include "engines/devtools_message.h"
#include "engines/socket_io.h"
#include "runtime/log.h"

namespace cefcompat {
namespace {

constexpr size_t kReadChunk = 256 * 1024;

} // namespace

struct CDevToolsConnection::CState {
    CState(MessageFn messageFn, ClosedFn closedFn, size_t limit)
        : onMessage(std::move(messageFn)),
          onClosed(std::move(closedFn)),
          maxMessage(limit)
    {
    }

    MessageFn onMessage;
    ClosedFn onClosed;
    const size_t maxMessage;
    SOCKET link = INVALID_SOCKET;
    // Set to end both threads' transfers: by Stop, or by the writer or a handler that failed.
    const NsWin32::CKernelHandle ending{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> lastId{0};
    std::atomic<bool> stopping{false};

    std::mutex mutex;
    std::condition_variable answered;
    std::condition_variable queued;
    bool closed = false;
    std::deque<std::string> outgoing; // NUL-terminated commands, oldest first
    std::map<int, std::optional<nlohmann::json>> waiting; // ids of Call, with their answers

    void Read();
    void Write();
    void Take(const std::string& text);
    void Deliver(nlohmann::json& message);
    // Reader thread, once: the stream ended.
    void Close();
};

void CDevToolsConnection::CState::Read()
{
    CStoppableSocketIo io(link, ending.Get());
    std::vector<char> buffer(kReadChunk);
    std::string message;
    bool dropping = false;
    size_t read = 0;
    while ((read = io.Receive(buffer.data(), buffer.size())) > 0) {
        const char* at = buffer.data();
        const char* const end = at + read;
        while (at < end) {
            const char* nul = static_cast<const char*>(std::memchr(at, '\0', static_cast<size_t>(end - at)));
            const size_t count = static_cast<size_t>((nul ? nul : end) - at);
            if (!dropping && message.size() + count > maxMessage) {
                LogMessage(LOGSEVERITY_WARNING, "Chromium engine: dropped a DevTools message longer than " +
                                                    std::to_string(maxMessage) + " bytes");
                dropping = true;
                std::string().swap(message);
            }
            if (!dropping)
                message.append(at, count);
            if (!nul)
                break;
            if (!dropping)
                Take(message);
            message.clear();
            dropping = false;
            at = nul + 1;
        }
    }
    Close();
}

void CDevToolsConnection::CState::Take(const std::string& text)
{
    std::optional<nlohmann::json> message = ParseDevToolsMessage(text);
    if (!message)
        return;
    // Whatever throws out of a handler ends the connection, as a closed stream would.
    try {
        Deliver(*message);
    } catch (const std::exception&) {
        SetEvent(ending.Get());
    }
}

void CDevToolsConnection::CState::Deliver(nlohmann::json& message)
{
    const auto id = message.find("id");
    if (id != message.end() && id->is_number_integer()) {
        std::lock_guard<std::mutex> lock(mutex);
        auto waiter = waiting.find(id->get<int>());
        if (waiter != waiting.end()) {
            waiter->second = std::move(message);
            answered.notify_all();
            return;
        }
    }
    onMessage(message);
}

void CDevToolsConnection::CState::Write()
{
    CStoppableSocketIo io(link, ending.Get());
    for (;;) {
        std::string text;
        {
            std::unique_lock<std::mutex> lock(mutex);
            queued.wait(lock, [this]() { return closed || !outgoing.empty(); });
            if (closed)
                return;
            text = std::move(outgoing.front());
            outgoing.pop_front();
        }
        if (!io.SendAll(text.data(), text.size())) {
            // The reader ends too, and reports it.
            SetEvent(ending.Get());
            return;
        }
    }
}

void CDevToolsConnection::CState::Close()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        answered.notify_all();
        queued.notify_all();
    }
    if (!stopping)
        onClosed();
}

CDevToolsConnection::CDevToolsConnection(MessageFn onMessage, ClosedFn onClosed, size_t maxMessage)
    : m_state(std::make_shared<CState>(std::move(onMessage), std::move(onClosed), maxMessage))
{
}

CDevToolsConnection::~CDevToolsConnection()
{
    Stop();
}

void CDevToolsConnection::Stop()
{
    m_state->stopping = true;
    // Ends a receive or a send that waits, in either thread.
    SetEvent(m_state->ending.Get());
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->closed = true;
        m_state->queued.notify_all();
        m_state->answered.notify_all();
    }
    if (m_reader.joinable())
        m_reader.join();
    if (m_writer.joinable())
        m_writer.join();
}

bool CDevToolsConnection::Open(SOCKET link, std::string* error)
{
    if (link == INVALID_SOCKET) {
        *error = "no DevTools pipe to Chromium";
        return false;
    }
    if (!m_state->ending) {
        *error = "no event to end the DevTools connection with";
        return false;
    }
    m_state->link = link;
    CState* state = m_state.get();
    m_reader = std::thread([state]() { state->Read(); });
    m_writer = std::thread([state]() { state->Write(); });
    return true;
}

int CDevToolsConnection::Send(const std::string& method, nlohmann::json params, const std::string& sessionId)
{
    return Queue(method, std::move(params), sessionId, false);
}

int CDevToolsConnection::Queue(const std::string& method, nlohmann::json params, const std::string& sessionId,
                               bool awaited)
{
    const int id = ++m_state->lastId;
    nlohmann::json command = {{"id", id}, {"method", method}, {"params", std::move(params)}};
    if (!sessionId.empty())
        command["sessionId"] = sessionId;
    std::string text = command.dump();
    text += '\0';
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (awaited)
        m_state->waiting[id];
    if (!m_state->closed) {
        m_state->outgoing.push_back(std::move(text));
        m_state->queued.notify_one();
    }
    return id;
}

std::optional<nlohmann::json> CDevToolsConnection::Call(const std::string& method, nlohmann::json params,
                                                        const std::string& sessionId, int timeoutMs)
{
    return std::move(CallAll({{method, std::move(params), sessionId}}, timeoutMs).front());
}

std::vector<std::optional<nlohmann::json>> CDevToolsConnection::CallAll(const std::vector<CDevToolsCommand>& commands,
                                                                        int timeoutMs)
{
    std::vector<int> ids;
    for (const CDevToolsCommand& command : commands)
        ids.push_back(Queue(command.method, command.params, command.sessionId, true));
    std::vector<std::optional<nlohmann::json>> answers;
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->answered.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&]() {
        return m_state->closed ||
               std::all_of(ids.begin(), ids.end(), [&](int id) { return m_state->waiting[id].has_value(); });
    });
    for (int id : ids) {
        answers.push_back(std::move(m_state->waiting[id]));
        m_state->waiting.erase(id);
    }
    return answers;
}

} // namespace cefcompat
