// Event storms larger than the event area. The area must never hold a broken text: every
// text the add-in reads is one the page sent, whole and in order, except that the last text
// of a full area may be cut where the area ends (never inside a surrogate pair), and nothing
// follows it until the add-in has emptied the area.

#include "FaultSupport.h"

#include "SharedBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace NsFaultTest;
using NsHostTest::CChildProcess;
using NsHostTest::CEngineControl;
using NsHostTest::HostArguments;
using NsHostTest::HostPath;
using NsHostTest::MakeCommand;

namespace {

const std::wstring kPage = L"http://pagehull.test/storm";
const std::u16string kPrefix = u"JSDispatch:";
// U+1F600 as the control pipe takes it (UTF-8) and as the host reports it (UTF-16).
const std::string kFaceUtf8 = "\xF0\x9F\x98\x80";
const std::u16string kFace = u"\U0001F600";

// A page text `length` units long after its tag, with surrogate pairs in it, as a request
// argument and as the event text the host reports for it.
struct CPageText {
    std::string request;
    std::u16string event;
};

CPageText MakeText(size_t number, size_t length)
{
    CPageText text;
    text.request = "n" + std::to_string(number) + "-";
    text.event = kPrefix + std::u16string(text.request.begin(), text.request.end());
    for (size_t i = 0; i < length; i += 2) {
        if (i % 14 == 12) {
            text.request += kFaceUtf8;
            text.event += kFace;
        } else {
            const char letter = static_cast<char>('a' + i % 26);
            text.request.append(2, letter);
            text.event.append(2, static_cast<char16_t>(letter));
        }
    }
    return text;
}

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// How a list of texts read from one area holds up against what the page sent since
// `nextSent`: whole texts in order, and at most a cut last one when the area was full.
::testing::AssertionResult ReadsWhole(const std::u16string& area, const std::vector<CPageText>& sent, size_t& nextSent)
{
    const std::vector<std::u16string> texts = NsChannel::SplitEventTexts(area);
    // Full, or one unit short where a surrogate pair did not fit whole.
    const bool full = area.size() + 1 >= NsChannel::kEventAreaUnits;
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::u16string& text = texts[i];
        const auto match = std::find_if(sent.begin() + static_cast<std::ptrdiff_t>(nextSent), sent.end(),
                                        [&](const CPageText& page) { return page.event.rfind(text, 0) == 0; });
        if (match == sent.end())
            return ::testing::AssertionFailure()
                   << "text " << i << " of " << texts.size() << " was never sent: "
                   << std::string(text.begin(), text.begin() + std::min<size_t>(text.size(), 80));
        const bool whole = match->event == text;
        if (!whole && (i + 1 != texts.size() || !full))
            return ::testing::AssertionFailure()
                   << "text " << i << " of " << texts.size() << " is cut, in an area of " << area.size() << " units";
        if (!text.empty() && IsHighSurrogate(text.back()))
            return ::testing::AssertionFailure() << "text " << i << " ends in half a surrogate pair";
        nextSent = static_cast<size_t>(match - sent.begin()) + 1;
    }
    return ::testing::AssertionSuccess();
}

class EventStorm : public ::testing::Test {
protected:
    EventStorm()
        : index(NextIndex()),
          addin(static_cast<int32_t>(::GetCurrentProcessId()), index),
          host(HostPath(), HostArguments(static_cast<int32_t>(::GetCurrentProcessId()), index, kPage)),
          engine(host)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(addin.IsOpen());
        ASSERT_TRUE(addin.WaitForHost(host.Handle()));
        ASSERT_TRUE(engine.IsConnected());
        ASSERT_TRUE(addin.WaitForEvent(u"loadEnd:200"));
    }

    void TearDown() override
    {
        ASSERT_TRUE(addin.Send(MakeCommand(NsChannel::CMD_CLOSE)));
        EXPECT_EQ(host.WaitForExit(), kExitBrowserClosed);
    }

    int32_t index;
    CManualAddin addin;
    CChildProcess host;
    CEngineControl engine;
};

} // namespace

TEST_F(EventStorm, TextsPastTheAreaAreLostWholeAndTheAreaStartsOverOnceEmptied)
{
    // Nobody empties the area while the page sends 40 texts of about 100 units.
    std::vector<CPageText> sent;
    for (size_t i = 0; i < 40; ++i) {
        sent.push_back(MakeText(i, 90 + i));
        ASSERT_TRUE(engine.Request("call dispatchEvent s:" + sent.back().request));
    }
    for (size_t i = 0; i < sent.size(); ++i)
        ASSERT_TRUE(engine.WaitForJournal("return OnProcessMessageReceived value=0")) << "text " << i;

    const std::optional<std::u16string> area = addin.TakeEvents(kTimeoutMs);
    ASSERT_TRUE(area);
    EXPECT_EQ(area->size(), NsChannel::kEventAreaUnits);
    size_t next = 0;
    EXPECT_TRUE(ReadsWhole(*area, sent, next));
    EXPECT_GT(next, 15u);
    EXPECT_LT(next, sent.size());

    // The emptied area takes the next text from its start.
    const CPageText after = MakeText(99, 10);
    ASSERT_TRUE(engine.Request("call dispatchEvent s:" + after.request));
    const std::optional<std::u16string> fresh = addin.TakeEvents(kTimeoutMs);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(*fresh, NsChannel::kEventSeparator + after.event);
}

TEST_F(EventStorm, ASlowAddinReadsOnlyWholeTextsOrTheCutEndOfAFullArea)
{
    // Loads of long addresses at full speed, three texts each, to an add-in that is slow to
    // read now and then: the texts pile up in the area and overflow it.
    constexpr DWORD kSlowReadMs = 20;
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> length(10, 1500);
    NsChannel::Command resize = MakeCommand(NsChannel::CMD_RESIZE);
    resize.width = 100;
    resize.height = 80;
    ASSERT_TRUE(addin.Send(resize));
    std::vector<std::wstring> addresses;
    std::vector<CPageText> sent;
    for (size_t i = 0; i < Scaled(4000, 400); ++i) {
        std::wstring address = kPage + L"/" + std::to_wstring(i) + L"/";
        const size_t units = length(random);
        for (size_t unit = 0; unit < units; ++unit)
            address += unit % 9 == 8 ? L"\U0001F600" : std::wstring(1, static_cast<wchar_t>(L'a' + unit % 26));
        addresses.push_back(address);
        for (const std::wstring& text :
             {L"address:" + address, std::wstring(L"loadStart:"), std::wstring(L"loadEnd:200")})
            sent.push_back(CPageText{std::string(), U16(text)});
    }

    sent.push_back(CPageText{std::string(), u"addinTrace:loads-done"});
    const NsWin32::CKernelHandle loadsDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread loader([&] {
        for (const std::wstring& address : addresses)
            if (!addin.Send(NsHostTest::LoadUrlCommand(address)))
                return;
        // Page script's answer comes once the UI thread has handled everything queued before.
        CEngineControl pageScript(host);
        if (pageScript.Request("call addinTrace s:loads-done"))
            ::SetEvent(loadsDone.Get());
    });
    size_t next = 0;
    size_t areas = 0;
    size_t full = 0;
    const auto check = [&](const std::u16string& area) {
        ++areas;
        full += area.size() + 1 >= NsChannel::kEventAreaUnits ? 1 : 0;
        return ReadsWhole(area, sent, next);
    };
    for (size_t round = 0;; ++round) {
        // The slowness is the fault injected here, so this wait is meant to run out.
        if (round % 2 == 1)
            ::WaitForSingleObject(loadsDone.Get(), kSlowReadMs);
        const std::optional<std::u16string> area = addin.TakeEvents(kTimeoutMs, loadsDone.Get());
        if (!area)
            break;
        ASSERT_TRUE(check(*area)) << "area " << areas;
    }
    loader.join();
    ASSERT_EQ(::WaitForSingleObject(loadsDone.Get(), 0), WAIT_OBJECT_0);
    // What the last writes left.
    if (const std::optional<std::u16string> area = addin.TakeEvents(0)) {
        EXPECT_TRUE(check(*area)) << "the last area";
    }
    std::printf("%zu texts sent, %zu read in %zu areas, %zu of them full\n", sent.size(), addin.Events().size(), areas,
                full);
    EXPECT_GT(full, 0u);

    // Afterwards a text arrives alone and whole.
    const CPageText last = MakeText(999999, 4);
    ASSERT_TRUE(engine.Request("call dispatchEvent s:" + last.request));
    EXPECT_TRUE(addin.WaitForEvent(last.event));
}
