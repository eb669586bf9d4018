// The private pipe between the processes, both ends in one process: messages cross in both
// directions, and a peer that goes away or sends an oversized frame ends the channel.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/ipc_channel.h"
#include "runtime/wire.h"

namespace {

using cefcompat::CIpcChannel;

class CRecorder final : public CIpcChannel::IListener {
public:
    void OnIpcConnected() override {}
    void OnIpcMessage(const std::string& payload) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back(payload);
        m_changed.notify_all();
    }
    void OnIpcClosed() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }
    bool WaitMessages(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&]() { return m_messages.size() >= count; });
    }
    bool WaitClosed()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&]() { return m_closed; });
    }
    std::vector<std::string> Messages()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_messages;
    bool m_closed = false;
};

std::wstring PipeName(const wchar_t* test)
{
    return std::wstring(L"\\\\.\\pipe\\cefcompat-unit-") + test + L"-" + std::to_wstring(GetCurrentProcessId());
}

TEST(IpcChannelTest, MessagesQueuedBeforeTheConnectionCrossInOrderBothWays)
{
    const std::wstring name = PipeName(L"order");
    CRecorder atServer, atClient; // before the channels: their threads report to these
    std::unique_ptr<CIpcChannel> server = CIpcChannel::CreateServer(name);
    ASSERT_TRUE(server);
    EXPECT_TRUE(server->Send("first"));
    EXPECT_TRUE(server->Send(std::string(200000, 'x'))); // larger than one pipe buffer
    ASSERT_TRUE(server->Start(&atServer, nullptr));
    std::unique_ptr<CIpcChannel> client = CIpcChannel::ConnectClient(name);
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->Start(&atClient, nullptr));
    EXPECT_TRUE(client->Send(""));
    EXPECT_TRUE(client->Send("back"));

    ASSERT_TRUE(atClient.WaitMessages(2));
    EXPECT_EQ(atClient.Messages()[0], "first");
    EXPECT_EQ(atClient.Messages()[1].size(), 200000u);
    ASSERT_TRUE(atServer.WaitMessages(2));
    EXPECT_EQ(atServer.Messages()[0], "");
    EXPECT_EQ(atServer.Messages()[1], "back");
}

TEST(IpcChannelTest, ThePeerGoingAwayClosesTheChannelAndLaterSendsFail)
{
    const std::wstring name = PipeName(L"gone");
    CRecorder atServer, atClient;
    std::unique_ptr<CIpcChannel> server = CIpcChannel::CreateServer(name);
    ASSERT_TRUE(server->Start(&atServer, nullptr));
    std::unique_ptr<CIpcChannel> client = CIpcChannel::ConnectClient(name);
    ASSERT_TRUE(client->Start(&atClient, nullptr));
    client.reset();
    EXPECT_TRUE(atServer.WaitClosed());
    EXPECT_FALSE(server->Send("too late"));
}

TEST(IpcChannelTest, AFrameAnnouncingMoreThanTheLimitEndsTheChannelUnread)
{
    const std::wstring name = PipeName(L"oversize");
    CRecorder atServer;
    std::unique_ptr<CIpcChannel> server = CIpcChannel::CreateServer(name);
    ASSERT_TRUE(server->Start(&atServer, nullptr));
    HANDLE raw = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(raw, INVALID_HANDLE_VALUE);
    cefcompat::CWireWriter header;
    header.U32(cefcompat::kMaxWireMessage + 1);
    DWORD written = 0;
    WriteFile(raw, header.Bytes().data(), 4, &written, nullptr);
    EXPECT_TRUE(atServer.WaitClosed());
    EXPECT_TRUE(atServer.Messages().empty());
    CloseHandle(raw);
}

TEST(IpcChannelTest, ASendAboveTheLimitIsRefused)
{
    std::unique_ptr<CIpcChannel> server = CIpcChannel::CreateServer(PipeName(L"limit"));
    ASSERT_TRUE(server);
    EXPECT_FALSE(server->Send(std::string(cefcompat::kMaxWireMessage + 1, 'x')));
}

} // namespace
