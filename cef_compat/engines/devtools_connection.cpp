#include "engines/devtools_connection.h"

#include <condition_variable>
#include <deque>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include "engines/devtools_message.h"

namespace cefcompat {
namespace {

namespace beast = boost::beast;
namespace net = boost::asio;
using tcp = net::ip::tcp;

// A 1920 x 1080 frame in PNG is a few MiB in base64; nothing Chromium sends is near this.
constexpr size_t kMaxMessage = 64 * 1024 * 1024;

} // namespace

struct CDevToolsConnection::CState {
    CState(MessageFn messageFn, ClosedFn closedFn) : onMessage(std::move(messageFn)), onClosed(std::move(closedFn)) {}

    MessageFn onMessage;
    ClosedFn onClosed;
    net::io_context io;
    beast::websocket::stream<tcp::socket> socket{io};
    beast::flat_buffer incoming;
    std::deque<std::string> outgoing; // connection thread
    std::atomic<int> lastId{0};
    std::atomic<bool> stopping{false};

    std::mutex mutex;
    std::condition_variable answered;
    bool closed = false;
    std::map<int, std::optional<nlohmann::json>> waiting; // ids of Call, with their answers

    void Read();
    void Write();
    void Deliver(nlohmann::json& message);
    void Close();
};

void CDevToolsConnection::CState::Read()
{
    socket.async_read(incoming, [this](beast::error_code error, size_t) {
        if (error) {
            Close();
            return;
        }
        std::optional<nlohmann::json> message = ParseDevToolsMessage(beast::buffers_to_string(incoming.data()));
        incoming.consume(incoming.size());
        if (message)
            Deliver(*message);
        Read();
    });
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
    socket.async_write(net::buffer(outgoing.front()), [this](beast::error_code error, size_t) {
        if (error) {
            Close();
            return;
        }
        outgoing.pop_front();
        if (!outgoing.empty())
            Write();
    });
}

void CDevToolsConnection::CState::Close()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed)
            return;
        closed = true;
        answered.notify_all();
    }
    beast::error_code ignored;
    socket.next_layer().close(ignored);
    if (!stopping)
        onClosed();
}

CDevToolsConnection::CDevToolsConnection(MessageFn onMessage, ClosedFn onClosed)
    : m_state(std::make_shared<CState>(std::move(onMessage), std::move(onClosed)))
{
}

CDevToolsConnection::~CDevToolsConnection()
{
    Stop();
}

void CDevToolsConnection::Stop()
{
    m_state->stopping = true;
    CState* state = m_state.get();
    net::post(state->io, [state]() { state->Close(); });
    if (m_thread.joinable())
        m_thread.join();
}

bool CDevToolsConnection::Open(const CChromiumEndpoint& endpoint, std::string* error)
{
    try {
        tcp::resolver resolver(m_state->io);
        net::connect(m_state->socket.next_layer(), resolver.resolve(endpoint.host, endpoint.port));
        m_state->socket.read_message_max(kMaxMessage);
        m_state->socket.handshake(endpoint.host + ":" + endpoint.port, endpoint.path);
    } catch (const std::exception& e) {
        *error = std::string("cannot reach Chromium's DevTools endpoint: ") + e.what();
        return false;
    }
    m_state->Read();
    m_thread = std::thread([this]() { Run(); });
    return true;
}

void CDevToolsConnection::Run()
{
    // Whatever throws out of a handler ends the connection, as a closed socket would.
    for (;;) {
        try {
            m_state->io.run();
            return;
        } catch (const std::exception&) {
            m_state->Close();
        }
    }
}

int CDevToolsConnection::Send(const std::string& method, nlohmann::json params, const std::string& sessionId)
{
    return Queue(method, std::move(params), sessionId, false);
}

int CDevToolsConnection::Queue(const std::string& method, nlohmann::json params, const std::string& sessionId,
                               bool awaited)
{
    const int id = ++m_state->lastId;
    if (awaited) {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->waiting[id];
    }
    nlohmann::json command = {{"id", id}, {"method", method}, {"params", std::move(params)}};
    if (!sessionId.empty())
        command["sessionId"] = sessionId;
    CState* state = m_state.get();
    net::post(state->io, [state, text = command.dump()]() {
        if (state->closed)
            return;
        state->outgoing.push_back(text);
        if (state->outgoing.size() == 1)
            state->Write();
    });
    return id;
}

std::optional<nlohmann::json> CDevToolsConnection::Call(const std::string& method, nlohmann::json params,
                                                        const std::string& sessionId, int timeoutMs)
{
    const int id = Queue(method, std::move(params), sessionId, true);
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->answered.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&]() { return m_state->closed || m_state->waiting[id].has_value(); });
    std::optional<nlohmann::json> answer = std::move(m_state->waiting[id]);
    m_state->waiting.erase(id);
    return answer;
}

} // namespace cefcompat
