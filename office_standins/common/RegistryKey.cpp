#include "RegistryKey.h"

#include <shlwapi.h>

namespace StandIns {

namespace {

// Registry key names are at most 255 characters long.
constexpr DWORD kMaxKeyNameChars = 256;

} // namespace

CRegistryKey CRegistryKey::Open(HKEY root, const std::wstring& path, REGSAM access)
{
    CRegistryKey key;
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, &handle) == ERROR_SUCCESS)
        key.m_key.Reset(handle);
    return key;
}

CRegistryKey CRegistryKey::Create(HKEY root, const std::wstring& path)
{
    CRegistryKey key;
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &handle,
                        nullptr) == ERROR_SUCCESS)
        key.m_key.Reset(handle);
    return key;
}

bool CRegistryKey::DeleteTree(HKEY root, const std::wstring& path)
{
    const DWORD result = SHDeleteKeyW(root, path.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::optional<std::wstring> CRegistryKey::ReadString(const wchar_t* name, size_t maxChars) const
{
    if (!IsOpen())
        return std::nullopt;
    std::wstring buffer(maxChars + 1, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(m_key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    // The stored text need not end in a NUL; it ends at the first NUL or at the stored size.
    buffer.resize(bytes / sizeof(wchar_t));
    const size_t end = buffer.find(L'\0');
    if (end != std::wstring::npos)
        buffer.resize(end);
    if (buffer.size() > maxChars)
        return std::nullopt;
    return buffer;
}

std::optional<DWORD> CRegistryKey::ReadDword(const wchar_t* name) const
{
    if (!IsOpen())
        return std::nullopt;
    DWORD value = 0;
    DWORD type = 0;
    DWORD bytes = sizeof(value);
    if (RegQueryValueExW(m_key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof(value))
        return std::nullopt;
    return value;
}

std::vector<std::wstring> CRegistryKey::SubkeyNames(size_t maxCount) const
{
    std::vector<std::wstring> names;
    if (!IsOpen())
        return names;
    for (DWORD index = 0; names.size() < maxCount; ++index) {
        wchar_t name[kMaxKeyNameChars];
        DWORD chars = kMaxKeyNameChars;
        const LONG result = RegEnumKeyExW(m_key.Get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            break;
        names.emplace_back(name, chars);
    }
    return names;
}

bool CRegistryKey::WriteString(const wchar_t* name, const std::wstring& value)
{
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return IsOpen() && RegSetValueExW(m_key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      bytes) == ERROR_SUCCESS;
}

bool CRegistryKey::WriteDword(const wchar_t* name, DWORD value)
{
    return IsOpen() && RegSetValueExW(m_key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                      sizeof(value)) == ERROR_SUCCESS;
}

} // namespace StandIns
