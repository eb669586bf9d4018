#include "FilePaths.h"

#include "Win32Owners.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace StandIns {

namespace {

// Long paths may reach 32,767 characters; no path of ours is longer.
constexpr DWORD kMaxPathChars = 32768;

} // namespace

std::wstring ModuleFilePath(HMODULE module)
{
    for (DWORD capacity = MAX_PATH; capacity <= kMaxPathChars; capacity *= 2) {
        std::vector<wchar_t> buffer(capacity);
        const DWORD length = GetModuleFileNameW(module, buffer.data(), capacity);
        if (length == 0)
            return std::wstring();
        if (length < capacity)
            return std::wstring(buffer.data(), length);
    }
    return std::wstring();
}

std::wstring ParentFolder(const std::wstring& path)
{
    const size_t separator = path.find_last_of(L'\\');
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t separator = path.find_last_of(L'\\');
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring BaseNameOf(const std::wstring& path)
{
    const std::wstring name = FileNameOf(path);
    const size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring ExtensionOf(const std::wstring& path)
{
    const std::wstring name = FileNameOf(path);
    const size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos)
        return std::wstring();
    std::wstring extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return extension;
}

std::wstring FullPathOf(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0 || needed > kMaxPathChars)
        return std::wstring();
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
    return length == 0 || length >= needed ? std::wstring() : std::wstring(buffer.data(), length);
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HRESULT LastErrorResult()
{
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

HRESULT ReadWholeFile(const std::wstring& path, LONGLONG maxBytes, std::vector<BYTE>& bytes)
{
    const NsWin32::CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorResult();
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size))
        return LastErrorResult();
    if (size.QuadPart > maxBytes)
        return STG_E_MEDIUMFULL;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()))
        return STG_E_READFAULT;
    return S_OK;
}

HRESULT WriteWholeFile(const std::wstring& path, const std::vector<BYTE>& bytes)
{
    const NsWin32::CFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorResult();
    DWORD written = 0;
    if (!bytes.empty() && (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                           written != bytes.size()))
        return LastErrorResult();
    return S_OK;
}

std::wstring CreateTempFolder(const wchar_t* prefix)
{
    wchar_t tempPath[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, tempPath);
    if (length == 0 || length > MAX_PATH)
        return std::wstring();
    // GetTempFileNameW reserves a unique name by creating a file; the folder takes its place.
    wchar_t name[MAX_PATH];
    if (!GetTempFileNameW(tempPath, prefix, 0, name) || !DeleteFileW(name) || !CreateDirectoryW(name, nullptr))
        return std::wstring();
    return name;
}

bool DeleteFolderTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    NsWin32::CFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                  !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            if (isFolder) {
                DeleteFolderTree(path);
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(path.c_str());
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find.Get(), &entry));
    }
    return RemoveDirectoryW(folder.c_str()) != FALSE;
}

} // namespace StandIns
