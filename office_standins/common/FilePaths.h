// Paths and folders that the stand-ins work with.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace StandIns {

std::wstring ModuleFilePath(HMODULE module);
// Everything before the last backslash; empty when there is none.
std::wstring ParentFolder(const std::wstring& path);
// Everything after the last backslash.
std::wstring FileNameOf(const std::wstring& path);
// The file name without its last extension.
std::wstring BaseNameOf(const std::wstring& path);
// The last extension with its dot, lower-case; empty when there is none.
std::wstring ExtensionOf(const std::wstring& path);
std::wstring FullPathOf(const std::wstring& path);
bool FileExists(const std::wstring& path);

// The calling thread's last error as an HRESULT; E_FAIL when no error was recorded.
HRESULT LastErrorResult();
// Reads a whole file of at most maxBytes.
HRESULT ReadWholeFile(const std::wstring& path, LONGLONG maxBytes, std::vector<BYTE>& bytes);
// Creates or replaces a file with exactly these bytes.
HRESULT WriteWholeFile(const std::wstring& path, const std::vector<BYTE>& bytes);

// Creates a new, empty folder in the user's temporary directory; empty on failure.
std::wstring CreateTempFolder(const wchar_t* prefix);
// Removes a folder and everything in it. Reparse points are removed, never followed.
bool DeleteFolderTree(const std::wstring& folder);

// Owns a folder and removes it with its content when it goes out of scope.
class CTempFolder {
public:
    explicit CTempFolder(const wchar_t* prefix) : m_path(CreateTempFolder(prefix)) {}
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    ~CTempFolder()
    {
        if (!m_path.empty())
            DeleteFolderTree(m_path);
    }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

} // namespace StandIns
