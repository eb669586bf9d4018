// An open registry key with bounded, type-checked reads.
#pragma once

#include "Win32Owners.h"

#include <optional>
#include <string>
#include <vector>

namespace StandIns {

class CRegistryKey {
public:
    static CRegistryKey Open(HKEY root, const std::wstring& path, REGSAM access = KEY_READ);
    static CRegistryKey Create(HKEY root, const std::wstring& path);
    // Removes the key with everything below it; true when it is gone, also when it never existed.
    static bool DeleteTree(HKEY root, const std::wstring& path);

    bool IsOpen() const { return m_key.IsValid(); }
    HKEY Get() const { return m_key.Get(); }

    // Absent, of another type or longer than maxChars: no value.
    std::optional<std::wstring> ReadString(const wchar_t* name, size_t maxChars) const;
    std::optional<DWORD> ReadDword(const wchar_t* name) const;
    // At most maxCount names, in the registry's own order.
    std::vector<std::wstring> SubkeyNames(size_t maxCount) const;

    bool WriteString(const wchar_t* name, const std::wstring& value);
    bool WriteDword(const wchar_t* name, DWORD value);

private:
    NsWin32::CRegistryKey m_key;
};

} // namespace StandIns
