#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Export.h"

namespace NsPlatform {

// Win32 file and folder calls over wide strings. Failures are answered through the result
// (false, an empty string, a zero time, an empty list); nothing is thrown to the caller.
// Parameters and results are standard library types, so a caller must be built with the
// same compiler and C++ runtime as the library.
class SLIDEWARP_API FileSystem {
public:
    FileSystem& operator=(const FileSystem&);

    // Trailing separators ("\" or "/") are ignored; missing parent folders are created too.
    // An empty path (or one made only of separators) names no folder and does nothing.
    static void CreateFolder(const std::wstring& path, bool recursive);
    static bool FileExists(std::wstring path);
    static bool DirectoryExists(std::wstring path);
    // The user's temporary directory with its trailing backslash.
    static std::wstring GetTempPathW();
    // Creates a new empty file in `path` and returns its name.
    static std::wstring GetTempFileNameW(std::wstring path, std::wstring prefix);
    // A fresh unique name in the temporary directory (TEMP\<prefix>XXXX.tmp); nothing is
    // left on disk under that name, the caller creates what it needs there.
    static std::wstring GetTempFolder(std::wstring prefix);
    // Creates the target's folder when needed. With `overwrite` a read-only target is
    // replaced; the target is never given up unless a different, existing file replaces it.
    static bool CopyFileW(const std::wstring& from, const std::wstring& to, int overwrite);
    // Replaces an existing target and may copy across volumes.
    static bool MoveFileW(const std::wstring& from, const std::wstring& to);
    // Zero for anything but an existing file.
    static FILETIME GetFileModificationTime(std::wstring path);
    static bool IsFileReadOnly(std::wstring path);
    // Deletes a file, read-only or not; false for folders and missing files.
    static bool DeleteFileW(std::wstring path);
    // With `emptyOnly` only an empty folder goes. Otherwise the folder goes with everything
    // in it; links to other folders inside it (junctions, symbolic links) are removed as
    // links, never followed.
    static bool DeleteFolder(std::wstring path, bool emptyOnly);
    // Every entry name of the folder, "." and ".." included, in the system's order.
    static std::vector<std::wstring> FilesList(std::wstring folder);
};

} // namespace NsPlatform
