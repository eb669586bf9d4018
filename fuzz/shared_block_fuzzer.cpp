// The shared block's areas: event texts appended to an event area in any state the add-in may
// have left it, and frame headers of any value.

#include "FuzzSupport.h"
#include "SharedBlock.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>

using namespace NsChannel;
using NsFuzz::Require;

namespace {

constexpr size_t kMaxTextUnits = 3 * kEventAreaUnits;

// What the area shows after appending `text` to an area that showed `before`.
void CheckAppend(const std::u16string& before, const std::u16string& text, const std::u16string& after)
{
    if (before.size() == kEventAreaUnits) {
        Require(after == before, "a full area takes nothing more");
        return;
    }
    const std::u16string whole = NsFuzz::UpToNul(text);
    if (after == before) {
        // A separator with none of its text would read as an empty event no page sent.
        const size_t room = kEventAreaUnits - before.size() - 1;
        const bool pairAtTheEnd =
            room == 1 && whole.size() >= 2 && NsFuzz::IsHighSurrogate(whole[0]) && NsFuzz::IsLowSurrogate(whole[1]);
        Require(!whole.empty() && (room == 0 || pairAtTheEnd), "a text is left out only when none of it fits");
        return;
    }
    Require(after.size() > before.size() && after.compare(0, before.size(), before) == 0,
            "earlier texts stay as they were");
    Require(after[before.size()] == kEventSeparator, "every text starts with the separator");

    const std::u16string appended = after.substr(before.size() + 1);
    Require(whole.compare(0, appended.size(), appended) == 0, "the area holds the text and nothing else");
    if (appended.size() < whole.size()) {
        const bool splitPair = NsFuzz::IsHighSurrogate(whole[appended.size()]) && appended.size() + 1 < whole.size() &&
                               NsFuzz::IsLowSurrogate(whole[appended.size() + 1]);
        Require(after.size() == kEventAreaUnits || (splitPair && after.size() == kEventAreaUnits - 1),
                "a text is cut only where the area ends");
    }
    if (NsFuzz::IsWellFormedUtf16(whole))
        Require(NsFuzz::IsWellFormedUtf16(appended), "a cut never splits a surrogate pair");
}

void FuzzEventArea(FuzzedDataProvider& input)
{
    // Exactly the area's size, so that a write past it is caught.
    const auto area = std::make_unique<uint8_t[]>(kEventAreaSize);
    if (input.ConsumeBool()) {
        const auto state = input.ConsumeBytes<uint8_t>(kEventAreaSize);
        std::copy(state.begin(), state.end(), area.get());
    }
    while (input.remaining_bytes() > 0) {
        const size_t units = input.ConsumeIntegralInRange<size_t>(0, kMaxTextUnits);
        const auto bytes = input.ConsumeBytes<uint8_t>(2 * units);
        const std::u16string text = NsFuzz::UnitsFromBytes(bytes.data(), bytes.size());

        const std::u16string before = ReadEventArea(area.get());
        AppendEventText(area.get(), text);
        const std::u16string after = ReadEventArea(area.get());
        CheckAppend(before, text, after);
        Require(EventAreaTextLength(area.get()) == after.size(), "length and text agree");

        const auto texts = SplitEventTexts(after);
        Require(!texts.empty(), "an area with text splits into texts");
        if (text.find(kEventSeparator) == std::u16string::npos)
            Require(after.compare(after.size() - texts.back().size(), texts.back().size(), texts.back()) == 0,
                    "the last text read is the last one written");
    }
}

void FuzzFrameHeader(FuzzedDataProvider& input)
{
    const size_t available = input.ConsumeIntegral<size_t>();
    const auto header = input.ConsumeBytes<uint8_t>(kFrameHeaderSize);
    FrameInfo frame;
    if (header.size() < kFrameHeaderSize) {
        Require(!ReadFrameHeader(header.data(), header.size(), frame), "a short header is refused");
        return;
    }
    if (!ReadFrameHeader(header.data(), available, frame))
        return;
    Require(frame.width >= 0 && frame.height >= 0, "no negative frame size");
    Require(frame.pixelBytes == 4ull * static_cast<uint32_t>(frame.width) * static_cast<uint32_t>(frame.height),
            "four bytes a pixel");
    Require(frame.pixelBytes <= available - kFrameHeaderSize, "the pixels fit behind the header");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool())
        FuzzEventArea(input);
    else
        FuzzFrameHeader(input);
    return 0;
}
