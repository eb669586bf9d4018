// Two hosts of one add-in process, with indexes whose object names share a prefix (1 and 11):
// commands, frames, events and replies reach only their own side, also when both sides are
// driven at full speed at once.

#include "FaultSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace NsFaultTest;
using NsHostTest::CChildProcess;
using NsHostTest::CEngineControl;
using NsHostTest::DecodeJournalText;
using NsHostTest::Field;
using NsHostTest::HostArguments;
using NsHostTest::HostPath;
using NsHostTest::LoadUrlCommand;
using NsHostTest::MakeCommand;

namespace {

std::wstring Wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

struct CSide {
    CSide(int32_t index, const std::string& sideName)
        : name(sideName),
          home(L"http://pagehull.test/" + Wide(sideName)),
          addin(static_cast<int32_t>(::GetCurrentProcessId()), index),
          host(HostPath(), HostArguments(static_cast<int32_t>(::GetCurrentProcessId()), index, home)),
          engine(host)
    {
    }

    ::testing::AssertionResult Started()
    {
        if (!addin.WaitForHost(host.Handle()) || !addin.WaitForEvent(u"loadEnd:200"))
            return ::testing::AssertionFailure() << name << " did not start";
        return ::testing::AssertionSuccess();
    }

    // Loads its own address for `round` and sees it reported and answered.
    ::testing::AssertionResult Load(int round)
    {
        const std::wstring address = home + L"/" + std::to_wstring(round);
        if (!addin.Send(LoadUrlCommand(address)) || !addin.WaitForEvent(U16(L"address:" + address)))
            return ::testing::AssertionFailure() << name << ": no address event for round " << round;
        if (addin.QueryUrl() != address)
            return ::testing::AssertionFailure() << name << ": wrong address reply in round " << round;
        return ::testing::AssertionSuccess();
    }

    // A burst of input and queries at full speed; every reply is its own side's.
    ::testing::AssertionResult Flood(size_t commands)
    {
        const std::wstring address = addin.QueryUrl().value_or(L"");
        for (size_t i = 0; i < commands; ++i) {
            NsChannel::Command move = MakeCommand(NsChannel::CMD_MOUSE_MOVE);
            move.x = static_cast<int32_t>(i % 100);
            move.y = static_cast<int32_t>(i % 50);
            if (!addin.Send(move))
                return ::testing::AssertionFailure() << name << ": command not sent";
            if (i % 10 == 0 && addin.QueryUrl() != address)
                return ::testing::AssertionFailure() << name << ": another side's reply after " << i;
        }
        return ::testing::AssertionSuccess();
    }

    std::string name;
    std::wstring home;
    CManualAddin addin;
    CChildProcess host;
    CEngineControl engine;
};

} // namespace

TEST(TwoHosts, EachSideSeesOnlyItsOwnTraffic)
{
    CSide one(1, "one");
    CSide eleven(11, "eleven");
    ASSERT_TRUE(one.Started());
    ASSERT_TRUE(eleven.Started());

    for (int round = 0; round < static_cast<int>(Scaled(100, 10)); ++round) {
        ASSERT_TRUE(one.Load(round));
        ASSERT_TRUE(eleven.Load(round));
        for (CSide* side : {&one, &eleven}) {
            NsChannel::Command resize = MakeCommand(NsChannel::CMD_RESIZE);
            resize.width = 200 + round;
            resize.height = side == &one ? 100 : 111;
            ASSERT_TRUE(side->addin.Send(resize));
            EXPECT_TRUE(side->addin.WaitForFrame(resize.width, resize.height)) << side->name;
            const std::string trace = side->name + "-" + std::to_string(round);
            ASSERT_TRUE(side->engine.Request("call addinTrace s:" + trace));
            EXPECT_TRUE(side->addin.WaitForEvent(U16(L"addinTrace:" + Wide(trace))));
        }
    }

    // Both at once, each from its own thread.
    const size_t commands = Scaled(20000, 2000);
    ::testing::AssertionResult elevenFlood = ::testing::AssertionSuccess();
    std::thread other([&] { elevenFlood = eleven.Flood(commands); });
    EXPECT_TRUE(one.Flood(commands));
    other.join();
    EXPECT_TRUE(elevenFlood);

    // Nothing of one side ever reached the other: not an event, not a load.
    for (const std::u16string& text : one.addin.Events())
        EXPECT_EQ(text.find(u"eleven"), std::u16string::npos);
    for (const std::u16string& text : eleven.addin.Events())
        EXPECT_EQ(text.find(u"/one"), std::u16string::npos);
    for (CSide* side : {&one, &eleven}) {
        for (const std::string& line : side->engine.JournalSince("0")) {
            if (line.rfind("call LoadURL ", 0) != 0)
                continue;
            const std::string url = DecodeJournalText(Field(line, "url"));
            EXPECT_EQ(url.rfind("http://pagehull.test/" + side->name + "/", 0), 0u) << side->name << ": " << url;
        }
    }
    for (CSide* side : {&one, &eleven}) {
        ASSERT_TRUE(side->addin.Send(MakeCommand(NsChannel::CMD_CLOSE)));
        EXPECT_EQ(side->host.WaitForExit(), kExitBrowserClosed);
    }
}
