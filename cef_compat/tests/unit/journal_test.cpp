// The journal and the token form of its lines, on which every end-to-end wait relies.
#include <gtest/gtest.h>

#include <thread>

#include "runtime/journal.h"
#include "runtime/text.h"

namespace {

using cefcompat::CJournal;
using cefcompat::CJournalEntry;
using cefcompat::CLine;

TEST(TextTest, EncodedValuesAreSingleTokensAndDecodeBack)
{
    for (const std::string& text : {std::string(), std::string("-"), std::string("a b,c%d"),
                                    std::string("line\nbreak\ttab"), std::string("\xC3\xA9t\xC3\xA9")}) {
        const std::string token = cefcompat::EncodeText(text);
        EXPECT_EQ(token.find_first_of(" \n\t,"), std::string::npos) << token;
        std::string back;
        ASSERT_TRUE(cefcompat::DecodeText(token, &back));
        EXPECT_EQ(back, text);
    }
}

TEST(TextTest, MalformedEscapesAreRefused)
{
    std::string out;
    EXPECT_FALSE(cefcompat::DecodeText("%4", &out));
    EXPECT_FALSE(cefcompat::DecodeText("%ZZ", &out));
    EXPECT_FALSE(cefcompat::DecodeText("abc%", &out));
}

TEST(TextTest, NumbersAreParsedInDecimalOnly)
{
    int value = 0;
    EXPECT_TRUE(cefcompat::ParseInt("-105", &value));
    EXPECT_EQ(value, -105);
    EXPECT_TRUE(cefcompat::ParseInt("010", &value));
    EXPECT_EQ(value, 10);
    EXPECT_FALSE(cefcompat::ParseInt("0x10", &value));
    EXPECT_FALSE(cefcompat::ParseInt("99999999999", &value));
    EXPECT_FALSE(cefcompat::ParseInt("", &value));
}

TEST(JournalTest, TermsMatchWholeTokensOrPrefixesEndingInAStar)
{
    const std::string line = CLine("call", "SendMouseClickEvent").Add("x", 100).Add("url", "http://a/").Text();
    EXPECT_TRUE(CJournal::Matches(line, {"call", "x=100"}));
    EXPECT_FALSE(CJournal::Matches(line, {"x=10"}));
    EXPECT_TRUE(CJournal::Matches(line, {"x=10*"}));
    EXPECT_TRUE(CJournal::Matches(line, {"url=http*"}));
    EXPECT_FALSE(CJournal::Matches(line, {"call", "hook"}));
}

TEST(JournalTest, AWaitSeesOnlyLinesAfterItsMarkAndWakesForALaterLine)
{
    CJournal journal(100);
    journal.Append("call A n=1");
    const uint64_t mark = journal.LastSeq();
    std::thread writer([&journal]() { journal.Append("call A n=2"); });
    CJournalEntry found;
    ASSERT_TRUE(journal.WaitFor(mark, {"A"}, std::chrono::seconds(10), &found));
    writer.join();
    EXPECT_EQ(found.seq, 2u);
    EXPECT_EQ(found.line, "call A n=2");
}

TEST(JournalTest, AWaitWithoutAMatchTimesOutAndClosingReleasesWaiters)
{
    CJournal journal(100);
    CJournalEntry found;
    EXPECT_FALSE(journal.WaitFor(0, {"never"}, std::chrono::milliseconds(50), &found));
    std::thread closer([&journal]() { journal.Close(); });
    EXPECT_FALSE(journal.WaitFor(0, {"never"}, std::chrono::seconds(30), &found));
    closer.join();
}

TEST(JournalTest, KeepsTheNewestLinesWithinItsCapacity)
{
    CJournal journal(3);
    for (int i = 1; i <= 5; ++i)
        journal.Append("n=" + std::to_string(i));
    const std::vector<CJournalEntry> lines = journal.Read(0, 10);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines.front().seq, 3u);
    EXPECT_EQ(journal.Read(4, 10).size(), 1u);
}

} // namespace
