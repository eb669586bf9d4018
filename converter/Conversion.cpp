#include "Conversion.h"

#include <windows.h>

#include <cwchar>

#include "ComSupport.h"
#include "ConverterRoute.h"
#include "InputCheck.h"
#include "PathIdentity.h"
#include "PowerPointAutomation.h"
#include "platform/FileSystem.h"
#include "platform/Mutex.h"
#include "platform/PathUtils.h"

namespace NsConverter {

using NsPlatform::FileSystem;
using NsPlatform::PathUtils;

namespace {

constexpr wchar_t kConversionLockName[] = L"{CC8B51F8-4046-4853-BEAE-A64583194B68}";
constexpr wchar_t kGeneratedFolderPrefix[] = L"PPT";
constexpr wchar_t kGeneratedFolderExtension[] = L"tmp";
constexpr wchar_t kOutputExtension[] = L".ppt";
constexpr wchar_t kCopyExtension[] = L".pptx";
// Absorbs a longer name on the second call of the generated-name protocol, which generates
// the name anew.
constexpr unsigned kGeneratedPathSlack = 10;
// How often a generated folder name is drawn again when another conversion took it first.
constexpr int kGeneratedFolderAttempts = 8;
constexpr double kDirectRouteVersion = 12.0;
constexpr double kDirectRouteMinorVersion = 11.0;
constexpr int kDirectRouteMinorBuild = 8169;

// Deletes the temporary copy of the input when the conversion ends.
class CTemporaryCopy {
public:
    explicit CTemporaryCopy(std::wstring path) : m_path(std::move(path)) {}
    // Moved into the call, not copied: a destructor must not allocate, which could throw.
    ~CTemporaryCopy() { FileSystem::DeleteFileW(std::move(m_path)); }
    CTemporaryCopy(const CTemporaryCopy&) = delete;
    CTemporaryCopy& operator=(const CTemporaryCopy&) = delete;

private:
    std::wstring m_path;
};

bool IsEmpty(const wchar_t* text)
{
    return !text || text[0] == L'\0';
}

// Picks the generated output path and creates its folder. The folder's name is unique only
// until it is created, and another conversion may draw it in that moment; the folder belongs
// to this conversion, and is recorded in the guard, only if this conversion created it.
StatusCode PrepareGeneratedOutput(const std::wstring& input, wchar_t* outputPath, unsigned int* outputPathSize,
                                  OutputFolderGuard& guard, std::wstring& output)
{
    // Without a size there is nowhere to tell it.
    if (!outputPathSize)
        return StatusBufferTooSmall;
    for (int attempt = 0; attempt < kGeneratedFolderAttempts; ++attempt) {
        output = MakeTempFilePath(input, kOutputExtension, true);
        if (!outputPath || output.size() >= *outputPathSize) {
            *outputPathSize = static_cast<unsigned int>(output.size() + kGeneratedPathSlack);
            return StatusBufferTooSmall;
        }
        std::wmemcpy(outputPath, output.c_str(), output.size() + 1);
        const std::wstring folder = PathUtils::GetParentFolder(output, true);
        if (::CreateDirectoryW(folder.c_str(), nullptr)) {
            guard.folder = folder;
            return StatusSuccess;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return StatusSuccess;
}

StatusCode CheckInput(const std::wstring& input)
{
    bool isCompoundDocument = false;
    bool hasModifyPassword = false;
    try {
        if (!CheckPresentationFile(input, isCompoundDocument, hasModifyPassword))
            return StatusUnreadableInput;
    } catch (...) {
        return StatusUnreadableInput;
    }
    if (hasModifyPassword)
        return StatusModifyPassword;
    if (isCompoundDocument)
        return StatusCompoundDocument;
    return StatusSuccess;
}

// Everything that refuses a conversion before it takes the lock: the program, the input, the
// output path and the machine.
StatusCode CheckBeforeConverting(const std::wstring& input, const std::wstring& output)
{
    switch (ProbePowerPoint()) {
    case ProbeTimedOut: return StatusStartTimeout;
    case ProbeCannotStart: return StatusCannotStart;
    case ProbeAnswered: break;
    }
    const StatusCode inputStatus = CheckInput(input);
    if (inputStatus != StatusSuccess)
        return inputStatus;
    if (FileSystem::FileExists(output) || FileSystem::DirectoryExists(output))
        return StatusOutputExists;
    // Probes the program once more and records its version for the choice of route.
    if (CheckConversionSupport() != StatusSuccess)
        return StatusFailed;
    return StatusSuccess;
}

StatusCode ConvertByVersion(const std::wstring& copyPath, const std::wstring& outputPath, bool powerPointWasRunning)
{
    const double version = DetectedVersion;
    const int build = DetectedBuild;
    if (version >= kDirectRouteVersion || (version == kDirectRouteMinorVersion && build >= kDirectRouteMinorBuild))
        return ConvertDirectly(copyPath, outputPath);
    if (version < kDirectRouteVersion)
        return ConvertThroughConverter(copyPath, outputPath, powerPointWasRunning);
    // A version that is not a number takes neither route.
    return StatusFailed;
}

// Any exception of a route fails the conversion. A failed route takes back what it wrote to
// the output path: the caller, told of the failure, never looks there.
StatusCode RunRoute(const std::wstring& copyPath, const std::wstring& outputPath, bool powerPointWasRunning)
{
    const bool outputExisted = FileSystem::FileExists(outputPath);
    StatusCode result = StatusFailed;
    try {
        result = ConvertByVersion(copyPath, outputPath, powerPointWasRunning);
    } catch (...) {
        result = StatusFailed;
    }
    if (result != StatusSuccess && !outputExisted)
        FileSystem::DeleteFileW(outputPath);
    return result;
}

bool IsGeneratedFolder(const std::wstring& folder)
{
    const std::wstring name = PathUtils::GetFileName(folder, true);
    const std::wstring temp = FileSystem::GetTempPathW();
    return name.compare(0, std::wcslen(kGeneratedFolderPrefix), kGeneratedFolderPrefix) == 0 &&
           PathUtils::GetFileExt(name, false) == kGeneratedFolderExtension && !temp.empty() &&
           _wcsicmp(PathUtils::GetParentFolder(folder, true).c_str(), temp.c_str()) == 0;
}

void CopyTruncated(const std::wstring& text, wchar_t* buffer, int count)
{
    std::wmemset(buffer, L'\0', static_cast<std::size_t>(count));
    std::wcsncpy(buffer, text.c_str(), static_cast<std::size_t>(count - 1));
}

} // namespace

std::wstring MakeTempFilePath(const std::wstring& source, const std::wstring& extension, bool ownFolder,
                              const std::wstring& reserved)
{
    const std::wstring directory =
        ownFolder ? FileSystem::GetTempFolder(kGeneratedFolderPrefix) : FileSystem::GetTempPathW();
    const std::wstring base = PathUtils::GetFileName(source, false);
    std::wstring path = PathUtils::CreateFilePath(directory, base + extension, !ownFolder);
    if (!ownFolder) {
        const auto isTaken = [&reserved](const std::wstring& candidate) {
            return FileSystem::FileExists(candidate) || (!reserved.empty() && IsSamePath(candidate, reserved));
        };
        for (unsigned number = 1; isTaken(path); ++number)
            path = PathUtils::CreateFilePath(directory, base + L"_" + std::to_wstring(number) + extension, true);
    }
    return path;
}

StatusCode ConvertPresentation(const wchar_t* inputPath, wchar_t* outputPath, unsigned int* outputPathSize)
{
    if (!inputPath)
        return StatusUnreadableInput;
    const bool powerPointWasRunning = IsPowerPointRunning();
    if (!IsSupportedWindowsVersion())
        return StatusUnsupportedWindows;
    const std::wstring input(inputPath);
    // Declared in the order that their clean-up must run backwards: the copy goes first, then
    // the lock, then a generated folder of a failed conversion, and COM last.
    const CComApartment apartment;
    OutputFolderGuard guard;
    const bool generated = IsEmpty(outputPath);
    std::wstring output;
    StatusCode status = StatusSuccess;
    if (generated)
        status = PrepareGeneratedOutput(input, outputPath, outputPathSize, guard, output);
    else
        output = outputPath;
    if (status == StatusSuccess)
        status = CheckBeforeConverting(input, output);
    if (status != StatusSuccess)
        return status;
    const boost::shared_ptr<NsPlatform::IMutex> lock = NsPlatform::CreateNamedMutex(kConversionLockName);
    if (!lock->IsAvailable() || !lock->Lock())
        return StatusLockHeld;
    // A caller's folder is never created; a generated one must be this conversion's own.
    if ((generated && guard.folder.empty()) || !FileSystem::DirectoryExists(PathUtils::GetParentFolder(output, true)))
        return StatusFailed;
    // The copy is deleted at the end, so it must never be the output.
    const std::wstring copyPath = MakeTempFilePath(PathUtils::GetFileName(input, true), kCopyExtension, false, output);
    if (!FileSystem::CopyFileW(input, copyPath, 1))
        return StatusCopyFailed;
    const CTemporaryCopy copy(copyPath);
    const StatusCode result = RunRoute(copyPath, output, powerPointWasRunning);
    guard.keep = result == StatusSuccess;
    return result;
}

bool ReportPowerPointVersion(wchar_t* versionBuffer, int versionCount, wchar_t* buildBuffer, int buildCount)
{
    // Nothing may be written into a buffer that cannot hold even its terminating NUL.
    if (!versionBuffer || !buildBuffer || versionCount < 1 || buildCount < 1)
        return false;
    std::wstring version;
    std::wstring build;
    if (!QueryPowerPointVersion(version, build))
        return false;
    CopyTruncated(version, versionBuffer, versionCount);
    CopyTruncated(build, buildBuffer, buildCount);
    return true;
}

DeleteStatus DeleteConvertedFile(const wchar_t* path)
{
    if (!path)
        return DeleteMissing;
    const std::wstring file(path);
    if (!FileSystem::FileExists(file))
        return DeleteMissing;
    if (!FileSystem::DeleteFileW(file))
        return DeleteFailed;
    // Only a folder that this library generates, directly in the temporary directory, goes
    // with the file: a caller's own folder of a similar name keeps everything else in it.
    const std::wstring folder = PathUtils::GetParentFolder(file, false);
    if (IsGeneratedFolder(folder) && !FileSystem::DeleteFolder(folder, false))
        return DeleteFolderKept;
    return DeleteRemoved;
}

} // namespace NsConverter
