// Command lines in Chromium's syntax, as the host reads its switches and sub-processes get
// theirs.
#include <gtest/gtest.h>

#include "runtime/command_line.h"

namespace {

using cefcompat::CCommandLineImpl;

TEST(CommandLineTest, SplitsSwitchesFromArgumentsWithoutRegardToSwitchCase)
{
    CefRefPtr<CCommandLineImpl> line = new CCommandLineImpl();
    line->ParseWindows(L"C:\\app\\Pagehull.exe --idx=2 --PID=812 -single /flag=1 http://a/ \"b c\" -- --not-a-switch");
    EXPECT_EQ(line->GetProgram().ToWString(), L"C:\\app\\Pagehull.exe");
    EXPECT_EQ(line->GetSwitchValue("idx").ToString(), "2");
    EXPECT_EQ(line->GetSwitchValue("pid").ToString(), "812");
    EXPECT_TRUE(line->HasSwitch("SINGLE"));
    EXPECT_EQ(line->GetSwitchValue("single").ToString(), "");
    EXPECT_EQ(line->GetSwitchValue("flag").ToString(), "1");
    EXPECT_EQ(line->GetSwitchValue("missing").ToString(), "");
    CefCommandLine::ArgumentList arguments;
    line->GetArguments(arguments);
    ASSERT_EQ(arguments.size(), 3u);
    EXPECT_EQ(arguments[0].ToString(), "http://a/");
    EXPECT_EQ(arguments[1].ToString(), "b c");
    EXPECT_EQ(arguments[2].ToString(), "--not-a-switch");
}

TEST(CommandLineTest, TheLastOccurrenceOfASwitchWins)
{
    CefRefPtr<CCommandLineImpl> line = new CCommandLineImpl();
    line->ParseWindows(L"x.exe --idx=1 --idx=-1");
    EXPECT_EQ(line->GetSwitchValue("idx").ToString(), "-1");
}

TEST(CommandLineTest, AppendedSwitchesSurviveTheRoundTripThroughTheProcessCommandLine)
{
    CefRefPtr<CCommandLineImpl> line = new CCommandLineImpl();
    line->SetProgram("C:\\Program Files\\app.exe");
    line->AppendSwitchWithValue("type", "renderer");
    line->AppendSwitchWithValue("Idx", "-1");
    line->AppendSwitchWithValue("title", "a \"quoted\" value\\");
    line->AppendArgument("--looks-like-a-switch");

    CefRefPtr<CCommandLineImpl> parsed = new CCommandLineImpl();
    parsed->ParseWindows(line->GetCommandLineString());
    EXPECT_EQ(parsed->GetProgram().ToString(), "C:\\Program Files\\app.exe");
    EXPECT_EQ(parsed->GetSwitchValue("type").ToString(), "renderer");
    EXPECT_EQ(parsed->GetSwitchValue("idx").ToString(), "-1");
    EXPECT_EQ(parsed->GetSwitchValue("title").ToString(), "a \"quoted\" value\\");
    CefCommandLine::ArgumentList arguments;
    parsed->GetArguments(arguments);
    ASSERT_EQ(arguments.size(), 1u);
    EXPECT_EQ(arguments[0].ToString(), "--looks-like-a-switch");
}

TEST(CommandLineTest, AReadOnlyCommandLineRefusesChangesButItsCopyTakesThem)
{
    CefRefPtr<CCommandLineImpl> line = new CCommandLineImpl();
    line->ParseWindows(L"x.exe --a=1");
    line->SetReadOnly();
    line->AppendSwitchWithValue("b", "2");
    EXPECT_FALSE(line->HasSwitch("b"));
    CefRefPtr<CefCommandLine> copy = line->Copy();
    EXPECT_FALSE(copy->IsReadOnly());
    copy->AppendSwitchWithValue("b", "2");
    EXPECT_EQ(copy->GetSwitchValue("b").ToString(), "2");
    EXPECT_EQ(copy->GetSwitchValue("a").ToString(), "1");
}

} // namespace
