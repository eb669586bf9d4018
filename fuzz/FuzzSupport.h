#pragma once

// Helpers shared by the fuzz targets: turning bytes into UTF-16 text and stopping loudly when
// a property that must hold does not.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace NsFuzz {

// A broken property is a finding like a crash: libFuzzer saves the input that led to it.
inline void Require(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

// Little-endian UTF-16 code units from bytes; an odd last byte is ignored.
inline std::u16string UnitsFromBytes(const uint8_t* data, size_t size)
{
    std::u16string text(size / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return text;
}

inline bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

inline bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Every surrogate stands in a high-low pair.
inline bool IsWellFormedUtf16(const std::u16string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
            ++i;
        else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i]))
            return false;
    }
    return true;
}

// The text up to its first NUL, as C-style consumers see it.
inline std::u16string UpToNul(const std::u16string& text)
{
    return text.substr(0, text.find(u'\0'));
}

} // namespace NsFuzz
