// The event area's last units: an append that has room for its separator but for none of its
// text writes nothing, so the add-in never reads an empty event that no page sent.

#include "SharedBlock.h"

#include <gtest/gtest.h>

#include <vector>

using namespace NsChannel;

TEST(EventAreaEnd, ASeparatorIsNeverWrittenWithoutTextBehindIt)
{
    std::vector<uint8_t> area(kEventAreaSize, 0);
    // The pair does not fit the last unit, so the first text ends one unit short of full.
    AppendEventText(area.data(), std::u16string(2046, u'e') + u"\U0001F600");
    ASSERT_EQ(EventAreaTextLength(area.data()), kEventAreaUnits - 1);
    AppendEventText(area.data(), u"loadEnd:200");
    EXPECT_EQ(SplitEventTexts(ReadEventArea(area.data())).size(), 1u);

    // Exactly one unit left after the texts: the same.
    std::fill(area.begin(), area.end(), 0);
    AppendEventText(area.data(), std::u16string(kEventAreaUnits - 2, u'e'));
    AppendEventText(area.data(), u"loadStart:");
    EXPECT_EQ(SplitEventTexts(ReadEventArea(area.data())).size(), 1u);

    // Room for a separator and one unit still takes the unit.
    std::fill(area.begin(), area.end(), 0);
    AppendEventText(area.data(), std::u16string(kEventAreaUnits - 3, u'e'));
    AppendEventText(area.data(), u"loadStart:");
    EXPECT_EQ(ReadEventArea(area.data()).substr(kEventAreaUnits - 2), u"\u00a6l");
}
