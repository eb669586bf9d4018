#pragma once

#include <windows.h>

#include <string>

namespace NsConverter {

// A path that a system call writes into a buffer of the size it asks for: `call(nullptr, 0)`
// answers the size, `call(buffer, size)` the length written. Empty when the call fails.
template <typename Call>
std::wstring PathFromSystem(Call call)
{
    const DWORD size = call(nullptr, 0);
    if (size == 0)
        return std::wstring();
    std::wstring path(size, L'\0');
    const DWORD length = call(&path[0], size);
    if (length == 0 || length >= size)
        return std::wstring();
    path.resize(length);
    return path;
}

// Whether two paths name one place however each is spelled: relative or full, in short or long
// names, in any letter case. The last name need not exist.
bool IsSamePath(const std::wstring& first, const std::wstring& second);

} // namespace NsConverter
