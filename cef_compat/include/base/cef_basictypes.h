// Fixed-size integer names used throughout the API.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::int32_t int32;
typedef std::uint32_t uint32;
typedef std::int64_t int64;
typedef std::uint64_t uint64;

// UTF-16 code unit: wchar_t is 16 bits wide on Windows.
typedef wchar_t char16;
static_assert(sizeof(char16) == 2, "the API's strings are UTF-16");
