// The session layer against a fake DevTools peer that speaks through the connection's message
// interface (Send out; message texts in, parsed as the connection parses them): answers,
// error and malformed answers, silence, events held behind calls in order, the end of the
// connection, and the bounded inbox.
#include "engines/devtools_message.h"
#include "engines/devtools_session.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

namespace cefcompat {
namespace {

using Json = nlohmann::json;

// Chromium's side: records every command and answers with whatever text a test gives.
class CFakePeer {
public:
    CFakePeer()
        : session(
              [this](const std::string& method, Json, const std::string&) {
                  sent.push_back(method);
                  return static_cast<int>(sent.size());
              },
              "S1", [this](const std::string& method, const Json&) { events.push_back(method); },
              [this](DevToolsClock::time_point when) { deadlines.push_back(when); })
    {
    }

    // A message as Chromium would write it; false when it never reached the session.
    bool Write(const std::string& text)
    {
        std::optional<Json> message = ParseDevToolsMessage(text);
        if (!message)
            return false;
        if (!session.TakeAnswer(*message))
            session.TakeEvent(std::move(*message));
        return true;
    }

    // Records a call's answer under |name|.
    CDevToolsSession::AnswerFn Keep(const std::string& name)
    {
        return [this, name](const CDevToolsAnswer& answer) {
            answers.push_back(name + (answer.ok ? ":ok:" + answer.result.dump() : ":error:" + answer.error));
        };
    }

    std::vector<std::string> sent;
    std::vector<std::string> events;
    std::vector<DevToolsClock::time_point> deadlines;
    std::vector<std::string> answers;
    CDevToolsSession session;
};

TEST(DevToolsMessage, LoneSurrogatesAndStrayBytesBecomeReplacementsAndNothingElseChanges)
{
    const std::optional<Json> cut = ParseDevToolsMessage(R"({"id":1,"result":{"title":"ab\uD83D"}})");
    ASSERT_TRUE(cut.has_value()) << "a title cut inside an emoji loses its message";
    EXPECT_EQ((*cut)["result"]["title"], "ab\xEF\xBF\xBD");
    const std::optional<Json> mixed = ParseDevToolsMessage(R"({"a":"\uDE00x\uD83D\uDE00\\uD83D\uD800\u0041","b":")"
                                                           "\xff\xc3\xa9"
                                                           R"("})");
    ASSERT_TRUE(mixed.has_value());
    EXPECT_EQ((*mixed)["a"], "\xEF\xBF\xBDx\xF0\x9F\x98\x80\\uD83D\xEF\xBF\xBD"
                             "A");
    EXPECT_EQ((*mixed)["b"], "\xEF\xBF\xBD\xC3\xA9");
    EXPECT_FALSE(ParseDevToolsMessage(R"({"id":1,"result":)").has_value());
    EXPECT_FALSE(ParseDevToolsMessage("[1]").has_value());

    // Whatever surrogates and bytes a string holds, its sanitised text is one that JSON accepts.
    std::mt19937 random(7);
    const std::string pieces[] = {"\\uD83D", "\\uDE00", "\\\\", "\\u0041", "\\\"", "\xed\xa0\x80", "\xf0\x9f"};
    for (int round = 0; round < 2000; ++round) {
        std::string text = "\"";
        for (int i = 0; i < 8; ++i) {
            const char byte = static_cast<char>(0x20 + random() % 0xE0);
            text += random() % 2 ? pieces[random() % 7] : byte == '"' || byte == '\\' ? "x" : std::string(1, byte);
        }
        const std::string sanitised = SanitiseDevToolsText(text + "\"");
        EXPECT_FALSE(Json::parse(sanitised, nullptr, false).is_discarded()) << sanitised;
    }
}

TEST(DevToolsSession, EveryCallEndsInOneAnswerWhateverChromiumSends)
{
    CFakePeer peer;
    peer.session.Call("A", Json::object(), peer.Keep("a"));
    peer.session.Call("B", Json::object(), peer.Keep("b"));
    peer.session.Call("C", Json::object(), peer.Keep("c"));
    peer.session.Call("D", Json::object(), peer.Keep("d"), std::chrono::milliseconds(0));
    peer.session.Call("E", Json::object(), peer.Keep("e"));
    ASSERT_EQ(peer.sent, (std::vector<std::string>{"A", "B", "C", "D", "E"}));
    EXPECT_EQ(peer.deadlines.size(), 5u);

    EXPECT_FALSE(peer.Write(R"({"id":1,"result":{"v":"\uD83D)")) << "cut off mid-message";
    EXPECT_TRUE(peer.Write(R"({"id":2,"error":{"code":-32000,"message":"No target"}})"));
    EXPECT_TRUE(peer.Write(R"({"id":3,"result":"not an object"})"));
    EXPECT_TRUE(peer.Write(R"({"id":1,"result":{"v":"\uD83D"}})"));
    EXPECT_TRUE(peer.Write(R"({"id":99,"result":{}})")) << "an answer to nothing is dropped";
    peer.session.Expire(DevToolsClock::now()); // D's deadline has passed, E's has not
    EXPECT_EQ(peer.session.NextDeadline(), peer.deadlines[4]);
    peer.session.Close("Chromium ended");
    EXPECT_TRUE(peer.Write(R"({"id":5,"result":{}})"));
    peer.session.Call("F", Json::object(), peer.Keep("f"));

    EXPECT_EQ(peer.answers, (std::vector<std::string>{"b:error:No target", "c:error:malformed answer",
                                                      "a:ok:{\"v\":\"\xEF\xBF\xBD\"}", "d:error:no answer in time",
                                                      "e:error:Chromium ended", "f:error:closed"}));
    EXPECT_EQ(peer.sent.size(), 5u) << "a closed session sends nothing";
}

TEST(DevToolsSession, EventsWaitForTheCallInOrderBeforeThem)
{
    CFakePeer peer;
    EXPECT_TRUE(peer.Write(R"({"method":"Page.one","params":{}})"));
    peer.session.CallInOrder("History", Json::object(), [&](const CDevToolsAnswer& answer) {
        peer.events.push_back(answer.ok ? "answer" : "no answer");
    });
    EXPECT_TRUE(peer.Write(R"({"method":"Page.two","params":{}})"));
    EXPECT_TRUE(peer.Write(R"({"method":"Page.three","params":"malformed"})"));
    EXPECT_EQ(peer.events, (std::vector<std::string>{"Page.one"}));
    peer.session.Expire(DevToolsClock::now() + CDevToolsSession::kDefaultDeadline);
    EXPECT_EQ(peer.events, (std::vector<std::string>{"Page.one", "no answer", "Page.two", "Page.three"}))
        << "a silent Chromium holds events back only until the deadline";
}

TEST(DevToolsInbox, HoldsABoundedBacklogAndLetsTheConnectionGoWhenStopped)
{
    std::vector<std::function<void()>> posted;
    std::vector<std::string> delivered;
    CDevToolsInbox inbox([&](std::function<void()> task) { posted.push_back(std::move(task)); },
                         [&](Json& message) { delivered.push_back(message["m"]); });
    EXPECT_TRUE(inbox.Push({{"m", "huge"}}, CDevToolsInbox::kMaxBytes * 2)) << "one oversized message passes alone";
    ASSERT_EQ(posted.size(), 1u);
    posted[0]();
    for (size_t i = 0; i < CDevToolsInbox::kMaxMessages; ++i)
        ASSERT_TRUE(inbox.Push({{"m", std::to_string(i)}}, 10));
    EXPECT_EQ(posted.size(), 2u) << "one drain for the whole backlog";

    // The connection's thread waits for room; stopping lets it go without taking its message.
    bool taken = true;
    std::thread connection([&]() { taken = inbox.Push({{"m", "late"}}, 10); });
    inbox.Stop();
    connection.join();
    EXPECT_FALSE(taken);
    posted[1]();
    EXPECT_EQ(delivered, (std::vector<std::string>{"huge"}));
}

} // namespace
} // namespace cefcompat
