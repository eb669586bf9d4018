#pragma once

// Layout of the shared block and the two areas in it: the event text area (UTF-16LE texts,
// each behind a separator) and the frame area (width, height, BGRA pixels). Plain C++ over
// bytes (no Windows headers), so it can be built and fuzzed on any platform.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace NsChannel {

constexpr size_t kEventAreaOffset = 0;
constexpr size_t kEventAreaSize = 4096;
constexpr size_t kEventAreaUnits = kEventAreaSize / 2;
constexpr size_t kFrameHeaderOffset = kEventAreaOffset + kEventAreaSize;
constexpr size_t kFrameHeaderSize = 8;
constexpr size_t kPixelOffset = kFrameHeaderOffset + kFrameHeaderSize;
constexpr size_t kMaxFrameWidth = 1920;
constexpr size_t kMaxFrameHeight = 1080;
constexpr size_t kPixelCapacity = kMaxFrameWidth * kMaxFrameHeight * 4;
constexpr size_t kBlockSize = kPixelOffset + kPixelCapacity;

constexpr char16_t kEventSeparator = u'\u00A6';

// Code units of text in the area: up to the first NUL, or all of them when the area is full.
size_t EventAreaTextLength(const uint8_t* area);
std::u16string ReadEventArea(const uint8_t* area);

// Appends the separator and the text (up to its first NUL) behind the area's current text,
// followed by a terminator where there is room. Whatever does not fit the area is cut off,
// before a surrogate pair rather than inside it.
void AppendEventText(uint8_t* area, const std::u16string& text);

// Splits what the event area held into the event texts, without their separators.
std::vector<std::u16string> SplitEventTexts(const std::u16string& areaText);

struct FrameInfo {
    int32_t width = 0;
    int32_t height = 0;
    size_t pixelBytes = 0; // 4 × width × height
};

// Reads the frame header at `header`, with `available` bytes from there to the end of the
// block. Fails for a negative size or pixels that would not fit in what is available.
bool ReadFrameHeader(const uint8_t* header, size_t available, FrameInfo& frame);

} // namespace NsChannel
