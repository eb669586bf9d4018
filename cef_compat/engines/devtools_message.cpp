#include "engines/devtools_message.h"

namespace cefcompat {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The code unit of the escape \uXXXX at |at|, or -1.
int EscapedUnit(const std::string& text, size_t at)
{
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u')
        return -1;
    int unit = 0;
    for (size_t i = at + 2; i < at + 6; ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

// The length of the well-formed UTF-8 sequence at |at| (Unicode's table of well-formed byte
// sequences), or 0.
size_t Utf8Length(const std::string& text, size_t at)
{
    const auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned lead = byte(at);
    const auto trail = [&](size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(at + i) >= low && byte(at + i) <= high;
    };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return trail(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return trail(1, low, high) && trail(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return trail(1, low, high) && trail(2) && trail(3) ? 4 : 0;
    }
    return 0;
}

bool IsHigh(int unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLow(int unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::string SanitiseDevToolsText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const int unit = EscapedUnit(text, i);
            if (IsHigh(unit) && IsLow(EscapedUnit(text, i + 6))) {
                out.append(text, i, 12);
                i += 12;
            } else if (IsHigh(unit) || IsLow(unit)) {
                out += "\\uFFFD";
                i += 6;
            } else {
                // Any other escape, \\ among them, is copied whole so that its second character
                // never starts one.
                out.append(text, i, 2);
                i += 2;
            }
            continue;
        }
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

std::optional<nlohmann::json> ParseDevToolsMessage(const std::string& text)
{
    nlohmann::json message = nlohmann::json::parse(SanitiseDevToolsText(text), nullptr, false);
    if (!message.is_object())
        return std::nullopt;
    return message;
}

} // namespace cefcompat
