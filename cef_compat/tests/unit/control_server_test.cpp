// The control pipe's sessions: one answer line per request line, several clients at once,
// bounded requests, and answers that never come.
#include <gtest/gtest.h>

#include <thread>

#include "../support/line_pipe.h"
#include "runtime/control_server.h"

namespace {

using cefcompat::CControlServer;
using cefcompat_test::CLinePipe;

// Echoes requests; "later" answers from another thread, "never" does not answer.
class CEchoHandler final : public CControlServer::IHandler {
public:
    ~CEchoHandler()
    {
        for (std::thread& t : m_threads)
            t.join();
    }
    void HandleRequest(const std::string& line, CControlServer::Reply reply) override
    {
        if (line == "never")
            return;
        if (line == "later") {
            m_threads.emplace_back([reply]() { reply("ok later"); });
            return;
        }
        reply("ok " + line);
    }

private:
    std::vector<std::thread> m_threads;
};

std::string Ask(CLinePipe& pipe, const std::string& request)
{
    std::string answer;
    if (!pipe.WriteLine(request, 5000) || !pipe.ReadLine(&answer, 10000))
        return "<none>";
    return answer;
}

TEST(ControlServerTest, ServesSeveralClientsLineByLine)
{
    CEchoHandler handler;
    CControlServer server(&handler, 2000);
    ASSERT_TRUE(server.Start());
    const std::wstring name = CControlServer::PipeName(GetCurrentProcessId());
    std::unique_ptr<CLinePipe> first = CLinePipe::Connect(name, 5000);
    std::unique_ptr<CLinePipe> second = CLinePipe::Connect(name, 5000);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(Ask(*first, "one"), "ok one");
    EXPECT_EQ(Ask(*second, "two\r"), "ok two");
    EXPECT_EQ(Ask(*first, "later"), "ok later");
    EXPECT_EQ(Ask(*first, "never"), "error timeout");
    server.Stop();
}

TEST(ControlServerTest, ARequestLineLongerThanTheLimitEndsTheSession)
{
    CEchoHandler handler;
    CControlServer server(&handler, 2000);
    ASSERT_TRUE(server.Start());
    std::unique_ptr<CLinePipe> client = CLinePipe::Connect(CControlServer::PipeName(GetCurrentProcessId()), 5000);
    ASSERT_TRUE(client);
    const std::string huge(70 * 1024, 'a');
    client->WriteLine(huge, 5000);
    std::string answer;
    EXPECT_FALSE(client->ReadLine(&answer, 10000));
    server.Stop();
}

} // namespace
