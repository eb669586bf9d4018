#include "SharedBlock.h"

#include "ByteOrder.h"

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

// No terminator is written: the area only grows until its reader zeroes it, so the zeros
// behind the new end are already there.
void AppendEventText(uint8_t* area, const std::u16string& text)
{
    size_t end = EventAreaTextLength(area);
    if (end == kEventAreaUnits)
        return;
    WriteUnit(area + 2 * end++, kEventSeparator);
    for (size_t i = 0; i < text.size() && text[i] != 0 && end < kEventAreaUnits; ++i)
        WriteUnit(area + 2 * end++, text[i]);
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
