#include "SharedBlock.h"

#include "ByteOrder.h"

#include <algorithm>

namespace NsChannel {

size_t EventAreaTextLength(const uint8_t* area)
{
    size_t units = 0;
    while (units < kEventAreaUnits && ReadUnit(area + 2 * units) != 0)
        ++units;
    return units;
}

std::u16string ReadEventArea(const uint8_t* area)
{
    const size_t units = EventAreaTextLength(area);
    std::u16string text(units, u'\0');
    for (size_t i = 0; i < units; ++i)
        text[i] = ReadUnit(area + 2 * i);
    return text;
}

namespace {

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

size_t TextLength(const std::u16string& text)
{
    return std::min(text.find(u'\0'), text.size());
}

// Code units of text, up to its first NUL, that go into room units. A cut never separates
// the halves of a surrogate pair: half a character would reach the add-in as a broken one.
size_t UnitsThatFit(const std::u16string& text, size_t room)
{
    const size_t length = TextLength(text);
    if (length <= room)
        return length;
    if (room > 0 && IsHighSurrogate(text[room - 1]) && IsLowSurrogate(text[room]))
        return room - 1;
    return room;
}

} // namespace

// A terminator follows the text wherever it fits: an add-in that clears only the start of the
// area must not see older text behind the new one.
void AppendEventText(uint8_t* area, const std::u16string& text)
{
    size_t end = EventAreaTextLength(area);
    if (end == kEventAreaUnits)
        return;
    const size_t units = UnitsThatFit(text, kEventAreaUnits - end - 1);
    // A separator with none of its text behind it would reach the add-in as an empty event
    // that no page sent.
    if (units == 0 && TextLength(text) > 0)
        return;
    WriteUnit(area + 2 * end++, kEventSeparator);
    for (size_t i = 0; i < units; ++i)
        WriteUnit(area + 2 * end++, text[i]);
    if (end < kEventAreaUnits)
        WriteUnit(area + 2 * end, 0);
}

std::vector<std::u16string> SplitEventTexts(const std::u16string& areaText)
{
    std::vector<std::u16string> texts;
    if (areaText.empty())
        return texts;
    size_t start = areaText.front() == kEventSeparator ? 1 : 0;
    for (;;) {
        const size_t end = areaText.find(kEventSeparator, start);
        texts.push_back(areaText.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start));
        if (end == std::u16string::npos)
            return texts;
        start = end + 1;
    }
}

bool ReadFrameHeader(const uint8_t* header, size_t available, FrameInfo& frame)
{
    if (header == nullptr || available < kFrameHeaderSize)
        return false;
    const int32_t width = ReadInt32(header);
    const int32_t height = ReadInt32(header + 4);
    if (width < 0 || height < 0)
        return false;
    const uint64_t pixelBytes = uint64_t{4} * static_cast<uint32_t>(width) * static_cast<uint32_t>(height);
    if (pixelBytes > available - kFrameHeaderSize)
        return false;
    frame.width = width;
    frame.height = height;
    frame.pixelBytes = static_cast<size_t>(pixelBytes);
    return true;
}

} // namespace NsChannel
