#pragma once

// Little-endian access to the wire formats, independent of the machine's byte order and of
// alignment. Plain C++ so that the record code also builds outside Windows.

#include <cstdint>

namespace NsChannel {

inline int32_t ReadInt32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

inline void WriteInt32(uint8_t* p, int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(bits);
    p[1] = static_cast<uint8_t>(bits >> 8);
    p[2] = static_cast<uint8_t>(bits >> 16);
    p[3] = static_cast<uint8_t>(bits >> 24);
}

inline char16_t ReadUnit(const uint8_t* p)
{
    return static_cast<char16_t>(p[0] | p[1] << 8);
}

inline void WriteUnit(uint8_t* p, char16_t unit)
{
    p[0] = static_cast<uint8_t>(unit);
    p[1] = static_cast<uint8_t>(unit >> 8);
}

} // namespace NsChannel
