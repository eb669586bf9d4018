#include "FileSystem.h"

#include <shlobj.h>

#include "NoThrow.h"
#include "PathUtils.h"
#include "Win32Owners.h"

namespace NsPlatform {

namespace {

constexpr wchar_t kAllEntries[] = L"*.*";

bool HasAttribute(DWORD attributes, DWORD attribute)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute) != 0;
}

// By reference: the exported members that ask this must not copy their path, which can run out
// of memory outside any catch-all.
bool IsExistingFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDotEntry(const wchar_t* name)
{
    return _wcsicmp(name, L".") == 0 || _wcsicmp(name, L"..") == 0;
}

std::wstring WithoutTrailingSeparators(std::wstring path)
{
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

// Two names of one file: different spellings (letter case, short names) or hard links.
bool IsSameFile(const std::wstring& first, const std::wstring& second)
{
    const auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        const NsWin32::CFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file && ::GetFileInformationByHandle(file.Get(), &info) != FALSE;
    };
    BY_HANDLE_FILE_INFORMATION firstInfo{};
    BY_HANDLE_FILE_INFORMATION secondInfo{};
    return identify(first, firstInfo) && identify(second, secondInfo) &&
           firstInfo.dwVolumeSerialNumber == secondInfo.dwVolumeSerialNumber &&
           firstInfo.nFileIndexHigh == secondInfo.nFileIndexHigh && firstInfo.nFileIndexLow == secondInfo.nFileIndexLow;
}

void DeleteFolderContents(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    const NsWin32::CFindHandle search(
        ::FindFirstFileW(PathUtils::CreateFilePath(folder, kAllEntries, true).c_str(), &entry));
    if (!search)
        return;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        const std::wstring child = PathUtils::CreateFilePath(folder, entry.cFileName, true);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            FileSystem::DeleteFolder(child, false);
        else
            FileSystem::DeleteFileW(child);
    } while (::FindNextFileW(search.Get(), &entry));
}

} // namespace

FileSystem& FileSystem::operator=(const FileSystem&) = default;

void FileSystem::CreateFolder(const std::wstring& path, bool /*recursive*/)
{
    // SHCreateDirectoryExW creates every missing parent itself, so both modes are one call.
    try {
        const std::wstring folder = WithoutTrailingSeparators(path);
        if (!folder.empty())
            ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    } catch (...) {
        // Out of memory: the folder is not created, which callers find out by looking.
    }
}

bool FileSystem::FileExists(std::wstring path)
{
    return IsExistingFile(path);
}

bool FileSystem::DirectoryExists(std::wstring path)
{
    return HasAttribute(::GetFileAttributesW(path.c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FileSystem::GetTempPathW()
{
    return NoThrow<std::wstring>([] {
        wchar_t buffer[MAX_PATH];
        const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
        // A result that does not fit comes back as the size it would need.
        return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
    });
}

std::wstring FileSystem::GetTempFileNameW(std::wstring path, std::wstring prefix)
{
    return NoThrow<std::wstring>([&] {
        wchar_t buffer[MAX_PATH];
        if (::GetTempFileNameW(path.c_str(), prefix.c_str(), 0, buffer) == 0)
            return std::wstring();
        return std::wstring(buffer);
    });
}

std::wstring FileSystem::GetTempFolder(std::wstring prefix)
{
    return NoThrow<std::wstring>([&] {
        const std::wstring directory = GetTempPathW();
        if (directory.empty())
            return std::wstring();
        // The system reserves a unique name by creating an empty file under it.
        std::wstring name = GetTempFileNameW(directory, prefix);
        if (!name.empty())
            DeleteFileW(name);
        return name;
    });
}

bool FileSystem::CopyFileW(const std::wstring& from, const std::wstring& to, int overwrite)
{
    return NoThrow<bool>([&] {
        if (from == to)
            return true;
        CreateFolder(PathUtils::GetParentFolder(to, false), true);
        // The system copy refuses to replace a read-only file, so the target goes first; but
        // only for a source that can take its place: deleting it for a missing source, or for
        // another name of the source itself, would lose the data.
        if (overwrite != 0 && FileExists(to) && FileExists(from) && !IsSameFile(from, to))
            DeleteFileW(to);
        return ::CopyFileW(from.c_str(), to.c_str(), overwrite == 0) != FALSE;
    });
}

bool FileSystem::MoveFileW(const std::wstring& from, const std::wstring& to)
{
    return NoThrow<bool>([&] {
        if (from == to)
            return true;
        CreateFolder(PathUtils::GetParentFolder(to, false), true);
        return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
    });
}

FILETIME FileSystem::GetFileModificationTime(std::wstring path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (IsExistingFile(path) && ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return data.ftLastWriteTime;
    return FILETIME{0, 0};
}

bool FileSystem::IsFileReadOnly(std::wstring path)
{
    return IsExistingFile(path) && HasAttribute(::GetFileAttributesW(path.c_str()), FILE_ATTRIBUTE_READONLY);
}

bool FileSystem::DeleteFileW(std::wstring path)
{
    if (!IsExistingFile(path))
        return false;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (HasAttribute(attributes, FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return ::DeleteFileW(path.c_str()) != FALSE;
}

bool FileSystem::DeleteFolder(std::wstring path, bool emptyOnly)
{
    return NoThrow<bool>([&] {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (!HasAttribute(attributes, FILE_ATTRIBUTE_DIRECTORY))
            return false;
        // A junction or a symbolic link leads outside the folder: only the link itself goes.
        if (!emptyOnly && !HasAttribute(attributes, FILE_ATTRIBUTE_REPARSE_POINT))
            DeleteFolderContents(path);
        return ::RemoveDirectoryW(path.c_str()) != FALSE;
    });
}

std::vector<std::wstring> FileSystem::FilesList(std::wstring folder)
{
    return NoThrow<std::vector<std::wstring>>([&] {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW entry;
        const NsWin32::CFindHandle search(
            ::FindFirstFileW(PathUtils::CreateFilePath(folder, kAllEntries, false).c_str(), &entry));
        if (!search)
            return names;
        do {
            names.emplace_back(entry.cFileName);
        } while (::FindNextFileW(search.Get(), &entry));
        return names;
    });
}

} // namespace NsPlatform
