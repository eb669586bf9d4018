#include "LibreOfficeExport.h"

#include "../common/FilePaths.h"
#include "Win32Owners.h"

#include <vector>

namespace StandIns {

namespace {

constexpr const wchar_t* kSourceBaseName = L"source";
constexpr const wchar_t* kOutputFolderName = L"out";

// LibreOffice writes its output under the final name and keeps a lock file beside it until
// the document is stored completely.
bool IsOutputComplete(const std::wstring& outputFolder, const std::wstring& outputName)
{
    return FileExists(outputFolder + L"\\" + outputName) &&
           !FileExists(outputFolder + L"\\.~lock." + outputName + L"#");
}

struct SConverterProcess {
    NsWin32::CKernelHandle process; // absent for a program that the system started without one
    NsWin32::CKernelHandle thread;
};

HRESULT StartConverter(const std::wstring& sofficePath, const std::wstring& workFolder, const std::wstring& sourceName,
                       SConverterProcess& started)
{
    // Relative names only: the converter works in the work folder, so no path has to be
    // translated for a program that sees the file system differently.
    std::wstring commandLine = L"\"" + sofficePath + L"\" --headless --norestore --convert-to ppt --outdir " +
                               kOutputFolderName + L" " + sourceName;
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    // Detached, inheriting nothing, with no standard handles at all (not ours either): a
    // converter that outlives the save, or hangs, must not hold the output of whoever started
    // us open.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(sofficePath.c_str(), writable.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        workFolder.c_str(), &startup, &process))
        return LastErrorResult();
    started.process.Reset(process.hProcess);
    started.thread.Reset(process.hThread);
    return S_OK;
}

// Waits for the output, or for the converter to end, whichever tells first.
HRESULT WaitForOutput(const NsWin32::CChangeNotification& outputChanges, const SConverterProcess& converter,
                      const std::wstring& outputFolder, const std::wstring& outputName, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (IsOutputComplete(outputFolder, outputName))
            return S_OK;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        HANDLE waits[2];
        DWORD count = 0;
        if (outputChanges)
            waits[count++] = outputChanges.Get();
        if (converter.process)
            waits[count++] = converter.process.Get();
        if (count == 0)
            return E_FAIL;
        const DWORD signalled = WaitForMultipleObjects(count, waits, FALSE, timeoutMs - elapsed);
        if (signalled == WAIT_TIMEOUT)
            return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        if (signalled >= WAIT_OBJECT_0 + count)
            return LastErrorResult();
        if (waits[signalled - WAIT_OBJECT_0] == converter.process.Get())
            return IsOutputComplete(outputFolder, outputName) ? S_OK : E_FAIL;
        if (!FindNextChangeNotification(outputChanges.Get()))
            return LastErrorResult();
    }
}

} // namespace

HRESULT ConvertWithLibreOffice(const std::wstring& sofficePath, const SPresentationContent& content,
                               const std::wstring& targetPath, DWORD timeoutMs)
{
    const CTempFolder work(L"pps");
    if (work.Path().empty())
        return LastErrorResult();
    const std::wstring outputFolder = work.Path() + L"\\" + kOutputFolderName;
    if (!CreateDirectoryW(outputFolder.c_str(), nullptr))
        return LastErrorResult();
    const std::wstring extension = content.extension.empty() ? L".pptx" : content.extension;
    const std::wstring sourceName = kSourceBaseName + extension;
    const std::wstring outputName = std::wstring(kSourceBaseName) + L".ppt";
    HRESULT hr = WriteWholeFile(work.Path() + L"\\" + sourceName, content.bytes);
    if (FAILED(hr))
        return hr;

    // Watching starts before the converter does, so no change can slip past.
    const NsWin32::CChangeNotification outputChanges(FindFirstChangeNotificationW(
        outputFolder.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE));
    SConverterProcess converter;
    hr = StartConverter(sofficePath, work.Path(), sourceName, converter);
    if (SUCCEEDED(hr))
        hr = WaitForOutput(outputChanges, converter, outputFolder, outputName, timeoutMs);
    if (FAILED(hr)) {
        if (converter.process)
            TerminateProcess(converter.process.Get(), 1);
        return hr;
    }
    const std::wstring output = outputFolder + L"\\" + outputName;
    if (!MoveFileExW(output.c_str(), targetPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        return LastErrorResult();
    return S_OK;
}

} // namespace StandIns
