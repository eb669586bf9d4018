#include "ConverterRoute.h"

#include <algorithm>

#include "PathIdentity.h"
#include "PowerPointAutomation.h"
#include "platform/FileSystem.h"
#include "platform/PathUtils.h"
#include "Win32Owners.h"

namespace NsConverter {

using namespace PowerPoint;
using NsPlatform::FileSystem;
using NsPlatform::PathUtils;

namespace {

constexpr wchar_t kConverterServerKey[] = L"CLSID\\{60505FA3-3FAA-4EC5-AE2B-C002F2E4271B}\\LocalServer32";
constexpr wchar_t kConverterFileName[] = L"moc.exe";
// Resolved against the current directory, which is the converter's folder while it runs.
constexpr wchar_t kConverterApplicationName[] = L"Moc.exe";

// Sets the process's current directory for a scope and puts the previous one back: the
// caller's process, every thread of it, resolves relative paths against that directory.
class CCurrentDirectoryScope {
public:
    explicit CCurrentDirectoryScope(const std::wstring& directory)
        : m_previous(CurrentDirectory()),
          m_entered(::SetCurrentDirectoryW(directory.c_str()) != FALSE)
    {
    }
    ~CCurrentDirectoryScope()
    {
        if (!m_previous.empty())
            ::SetCurrentDirectoryW(m_previous.c_str());
    }
    CCurrentDirectoryScope(const CCurrentDirectoryScope&) = delete;
    CCurrentDirectoryScope& operator=(const CCurrentDirectoryScope&) = delete;

    bool Entered() const { return m_entered; }

private:
    static std::wstring CurrentDirectory()
    {
        return PathFromSystem([](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); });
    }

    std::wstring m_previous;
    bool m_entered;
};

// The registered server program; empty unless the value is text that fits MAX_PATH.
std::wstring ReadConverterServer()
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, kConverterServerKey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::wstring();
    const NsWin32::CRegistryKey key(opened);
    wchar_t value[MAX_PATH];
    DWORD type = REG_NONE;
    DWORD bytes = sizeof(value);
    if (::RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::wstring();
    // Stored text need not end in a NUL, and may end in several.
    std::wstring text(value, bytes / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

FILETIME CurrentSystemTime()
{
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    FILETIME time{};
    ::SystemTimeToFileTime(&now, &time);
    return time;
}

// The program writes a presentation of its own to the output path before the converted one is
// taken, and the path is cleared again.
void WriteBlankPresentation(_Application& application, const std::wstring& outputPath)
{
    const CComPtr<_Presentation> blank = application.GetPresentations()->Add(msoTrue);
    blank->SaveAs(outputPath, ppSaveAsPresentation, msoFalse);
    blank->Close();
    FileSystem::DeleteFileW(outputPath);
}

// "NAME (n)", the name the converter gives its result when NAME is taken.
bool IsNumberedName(const std::wstring& name, const std::wstring& base)
{
    const std::size_t number = base.size() + 2; // past "NAME ("
    if (name.size() < number + 2 || _wcsnicmp(name.c_str(), base.c_str(), base.size()) != 0 ||
        name.compare(base.size(), 2, L" (") != 0 || name.back() != L')')
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(number), name.end() - 1,
                       [](wchar_t ch) { return ch >= L'0' && ch <= L'9'; });
}

// Whether `file` is what the converter made of the copy: beside it and named after it.
bool IsConvertedFromCopy(const std::wstring& file, const std::wstring& copyPath)
{
    const std::wstring base = PathUtils::GetFileName(copyPath, false);
    const std::wstring name = PathUtils::GetFileName(file, false);
    return (_wcsicmp(name.c_str(), base.c_str()) == 0 || IsNumberedName(name, base)) &&
           IsSamePath(PathUtils::GetParentFolder(file, false), PathUtils::GetParentFolder(copyPath, false));
}

// The file of the first presentation open in the program that the converter made of the copy,
// written at or after `start`; that presentation is closed. Everything else open in the program
// belongs to someone else and is left as it is, even when it was saved meanwhile. Empty when
// there is none, or when the program does not tell how many presentations it holds.
std::wstring TakeConvertedPresentation(_Application& application, const FILETIME& start, const std::wstring& copyPath)
{
    const CComPtr<Presentations> presentations = application.GetPresentations();
    long count = 0;
    if (presentations->get_Count(&count) != S_OK)
        return std::wstring();
    for (long index = 1; index <= count; ++index) {
        const CComPtr<_Presentation> presentation = presentations->Item(index);
        std::wstring fullName = presentation->GetFullName();
        // Zero for a presentation without a file.
        const FILETIME written = FileSystem::GetFileModificationTime(fullName);
        if (::CompareFileTime(&written, &start) != -1 && IsConvertedFromCopy(fullName, copyPath)) {
            presentation->Close();
            return fullName;
        }
    }
    return std::wstring();
}

void QuitIfIdle(_Application& application)
{
    long count = 0;
    if (application.GetPresentations()->get_Count(&count) == S_OK && count == 0)
        application.Quit();
}

} // namespace

std::wstring FindConverterPath()
{
    const std::wstring server = ReadConverterServer();
    if (server.empty())
        return std::wstring();
    return PathUtils::CreateFilePath(PathUtils::GetParentFolder(server, true), kConverterFileName, true);
}

bool RunConverter(const std::wstring& converterPath, const std::wstring& copyPath)
{
    const CCurrentDirectoryScope directory(PathUtils::GetParentFolder(converterPath, true));
    if (!directory.Entered())
        return false;
    DWORD exitCode = 1;
    RunProcessAndWait(kConverterApplicationName, L"\"" + converterPath + L"\" \"" + copyPath + L"\"", exitCode);
    return true;
}

bool RunProcessAndWait(const std::wstring& application, std::wstring commandLine, DWORD& exitCode)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    if (!::CreateProcessW(application.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &created))
        return false;
    const NsWin32::CKernelHandle process(created.hProcess);
    const NsWin32::CKernelHandle thread(created.hThread);
    ::WaitForSingleObject(process.Get(), INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.Get(), &code);
    exitCode = code;
    return true;
}

StatusCode ConvertThroughConverter(const std::wstring& copyPath, const std::wstring& outputPath,
                                   bool powerPointWasRunning)
{
    const CComPtr<_Application> application = StartPowerPoint();
    StatusCode result = StatusFailed;
    const std::wstring converterPath = FindConverterPath();
    if (!converterPath.empty()) {
        const FILETIME start = CurrentSystemTime();
        if (RunConverter(converterPath, copyPath)) {
            WriteBlankPresentation(*application, outputPath);
            const std::wstring converted = TakeConvertedPresentation(*application, start, copyPath);
            if (!converted.empty() && FileSystem::MoveFileW(converted, outputPath))
                result = StatusSuccess;
        }
    }
    // The program goes only if this conversion started it and nobody else has anything open
    // in it. Quitting is tidying up: its failure leaves the outcome as it is.
    if (!powerPointWasRunning)
        IgnoreComError([&] { QuitIfIdle(*application); });
    return result;
}

} // namespace NsConverter
