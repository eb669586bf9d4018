#pragma once

#include <string>

#include "Export.h"

namespace NsPlatform {

// Takes Windows paths apart and puts them together. The backslash is the only directory
// separator; every search finds the last occurrence. Purely textual, except that
// CreateFilePath can check that the folder exists.
class SLIDEWARP_API PathUtils {
public:
    PathUtils& operator=(const PathUtils&);

    static std::wstring GetDirectorySeparator();
    static std::wstring GetFileExtSeparator();
    static std::wstring GetParentFolder(std::wstring path, bool withSeparator);
    static std::wstring GetFileName(std::wstring path, bool withExtension);
    // Lower-cased by the user's language; the last dot of the whole path counts, even
    // when it lies in a folder name.
    static std::wstring GetFileExt(std::wstring path, bool withDot);
    // Empty when checkFolder is set and the folder does not exist.
    static std::wstring CreateFilePath(std::wstring folder, std::wstring name, bool checkFolder);
};

} // namespace NsPlatform
