#include "EndToEndSupport.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <fstream>
#include <iterator>

#include "PowerPointAutomation.h"
#include "SamplePresentation.h"
#include "TestTime.h"
#include "ZipFixture.h"
#include "platform/FileSystem.h"

namespace EndToEnd {

namespace {

constexpr wchar_t kPowerPointSettingsKey[] = L"Software\\OfficeStandins\\PowerPoint";
constexpr wchar_t kConverterSettingsKey[] = L"Software\\OfficeStandins\\Converter";
const DWORD kProgramTimeoutMs = NsTestSupport::ScaledMs(60000);

template <typename Function>
Function Resolve(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void WriteValue(const wchar_t* keyName, const wchar_t* name, DWORD type, const void* data, DWORD bytes)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const NsWin32::CRegistryKey owner(key);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
}

void WriteText(const std::wstring& keyName, const wchar_t* name, const std::wstring& value)
{
    WriteValue(keyName.c_str(), name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

} // namespace

CSlidewarp::CSlidewarp() : m_module(LoadLibraryW(L"Slidewarp.dll"))
{
    EXPECT_NE(m_module, nullptr) << "cannot load Slidewarp.dll";
    ConvertPPTXtoPPT = Resolve<decltype(ConvertPPTXtoPPT)>(m_module, "ConvertPPTXtoPPT");
    IsPPTXtoPPTSupported = Resolve<decltype(IsPPTXtoPPTSupported)>(m_module, "IsPPTXtoPPTSupported");
    GetPowerPointVersion = Resolve<decltype(GetPowerPointVersion)>(m_module, "GetPowerPointVersion");
    DeleteOutputFile = Resolve<decltype(DeleteOutputFile)>(m_module, "DeleteOutputFile");
}

CSlidewarp::~CSlidewarp()
{
    if (m_module)
        FreeLibrary(m_module);
}

int CSlidewarp::Convert(const std::wstring& input, const std::wstring& output)
{
    std::vector<wchar_t> buffer(output.begin(), output.end());
    buffer.push_back(L'\0');
    unsigned int size = static_cast<unsigned int>(buffer.size());
    return ConvertPPTXtoPPT(input.c_str(), buffer.data(), &size);
}

int CSlidewarp::ConvertToGeneratedPath(const std::wstring& input, std::wstring& output)
{
    unsigned int size = 0;
    const int sizeStatus = ConvertPPTXtoPPT(input.c_str(), nullptr, &size);
    EXPECT_EQ(sizeStatus, 1003);
    std::vector<wchar_t> buffer(size, L'\0');
    const int status = ConvertPPTXtoPPT(input.c_str(), buffer.data(), &size);
    output = buffer.data();
    return status;
}

CStandinSettings::CStandinSettings()
{
    Clear();
    Set(L"LibreOffice", std::wstring());
}

CStandinSettings::~CStandinSettings()
{
    Clear();
}

void CStandinSettings::Clear()
{
    SHDeleteKeyW(HKEY_CURRENT_USER, kPowerPointSettingsKey);
    SHDeleteKeyW(HKEY_CURRENT_USER, kConverterSettingsKey);
}

void CStandinSettings::Set(const wchar_t* name, DWORD value)
{
    WriteValue(kPowerPointSettingsKey, name, REG_DWORD, &value, sizeof(value));
}

void CStandinSettings::Set(const wchar_t* name, const std::wstring& value)
{
    WriteText(kPowerPointSettingsKey, name, value);
}

void CStandinSettings::Version(const std::wstring& version, const std::wstring& build)
{
    Set(L"Version", version);
    Set(L"Build", build);
}

void CStandinSettings::AddIn(const wchar_t* key, const std::wstring& progId, const std::wstring& guid, bool connected)
{
    const std::wstring addInKey = std::wstring(kPowerPointSettingsKey) + L"\\AddIns\\" + key;
    WriteText(addInKey, L"ProgId", progId);
    WriteText(addInKey, L"Guid", guid);
    const DWORD connect = connected ? 1 : 0;
    WriteValue(addInKey.c_str(), L"Connect", REG_DWORD, &connect, sizeof(connect));
}

void CStandinSettings::ConverterFails()
{
    const DWORD fail = 1;
    WriteValue(kConverterSettingsKey, L"Fail", REG_DWORD, &fail, sizeof(fail));
}

std::wstring BinFolder()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, length);
    return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring TempFolder()
{
    return NsPlatform::FileSystem::GetTempPathW();
}

DWORD RunProgram(const std::wstring& path, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &created)) {
        ADD_FAILURE() << "cannot start " << Narrow(path) << ": error " << GetLastError();
        return static_cast<DWORD>(-1);
    }
    const NsWin32::CKernelHandle process(created.hProcess);
    const NsWin32::CKernelHandle thread(created.hThread);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.Get(), kProgramTimeoutMs) != WAIT_OBJECT_0)
        return static_cast<DWORD>(-1);
    GetExitCodeProcess(process.Get(), &exitCode);
    return exitCode;
}

void RegisterStandins()
{
    ASSERT_EQ(RunProgram(BinFolder() + L"POWERPNT.EXE", L"/RegServer"), 0u);
    ASSERT_EQ(RunProgram(BinFolder() + L"moc.exe", L"/RegServer"), 0u);
}

void UnregisterPresentationProgram()
{
    ASSERT_EQ(RunProgram(BinFolder() + L"POWERPNT.EXE", L"/UnregServer"), 0u);
}

void UnregisterConverter()
{
    ASSERT_EQ(RunProgram(BinFolder() + L"moc.exe", L"/UnregServer"), 0u);
}

std::vector<DWORD> ProcessIds(const std::wstring& image)
{
    std::vector<DWORD> ids;
    const NsWin32::CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, image.c_str()) == 0)
            ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

bool WaitForProcessesToEnd(const std::wstring& image, DWORD timeoutMs)
{
    timeoutMs = NsTestSupport::ScaledMs(timeoutMs);
    const DWORD start = GetTickCount();
    for (const DWORD id : ProcessIds(image)) {
        const NsWin32::CKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        const DWORD elapsed = GetTickCount() - start;
        if (process &&
            (elapsed >= timeoutMs || WaitForSingleObject(process.Get(), timeoutMs - elapsed) != WAIT_OBJECT_0))
            return false;
    }
    return true;
}

namespace {

std::vector<NsWin32::CKernelHandle> OpenProcesses(const std::wstring& image)
{
    std::vector<NsWin32::CKernelHandle> processes;
    for (const DWORD id : ProcessIds(image)) {
        NsWin32::CKernelHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        if (process)
            processes.push_back(std::move(process));
    }
    return processes;
}

// Tells the instance that serves automation now to quit.
void QuitServingProgram()
{
    try {
        const auto application = NsConverter::StartPowerPoint();
        if (application)
            application->Quit();
    } catch (const _com_error&) {
        // Already on its way out.
    }
}

// Ends the message loop of every thread of the process, as Windows ends a program whose
// windows have gone.
void PostQuitToThreads(DWORD processId)
{
    const NsWin32::CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && Thread32First(snapshot.Get(), &entry); more;
         more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID == processId)
            PostThreadMessageW(entry.th32ThreadID, WM_QUIT, 0, 0);
    }
}

} // namespace

void EndPresentationProgram(DWORD timeoutMs)
{
    // Quitting through automation reaches the instance that serves it. Under Wine, callers
    // that activate the program at the same moment can each start one, and an instance can
    // then run that automation never reaches; the end of its message loop ends it as cleanly.
    // Either way each instance revokes its class: a killed one would leave its registration
    // behind, and Wine would hand that dead registration to every later caller.
    timeoutMs = NsTestSupport::ScaledMs(timeoutMs);
    const DWORD start = GetTickCount();
    for (;;) {
        const std::vector<NsWin32::CKernelHandle> running = OpenProcesses(kStandinImage);
        if (running.empty())
            return;
        QuitServingProgram();
        std::vector<HANDLE> handles;
        for (const NsWin32::CKernelHandle& process : running) {
            PostQuitToThreads(GetProcessId(process.Get()));
            handles.push_back(process.Get());
        }
        const DWORD elapsed = GetTickCount() - start;
        ASSERT_LT(elapsed, timeoutMs) << "the stand-in does not end";
        ASSERT_LT(
            WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeoutMs - elapsed),
            WAIT_OBJECT_0 + handles.size())
            << "the stand-in does not end";
    }
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring UniqueName(const std::wstring& stem)
{
    static int counter = 0;
    return stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

void WriteSample(const std::wstring& path)
{
    ASSERT_TRUE(WriteSamplePresentation(path, L"End-to-end", 0));
}

void WriteModifyProtectedPackage(const std::wstring& path)
{
    WriteZip(path, {{"[Content_Types].xml", "<Types/>"},
                    {"ppt/presentation.xml",
                     "<p:presentation xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\">"
                     "<p:modifyVerifier p:algIdExt=\"0\"/></p:presentation>"}});
}

bool IsCompoundDocument(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    char signature[4] = {};
    file.read(signature, sizeof(signature));
    return file && std::string(signature, 4) == "\xD0\xCF\x11\xE0";
}

std::set<std::wstring> GeneratedFolders()
{
    std::set<std::wstring> folders;
    WIN32_FIND_DATAW entry;
    const NsWin32::CFindHandle search(FindFirstFileW((TempFolder() + L"PPT*.tmp").c_str(), &entry));
    if (search) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.insert(entry.cFileName);
        } while (FindNextFileW(search.Get(), &entry));
    }
    return folders;
}

std::vector<std::wstring> TempFilesStartingWith(const std::wstring& stem)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    const NsWin32::CFindHandle search(FindFirstFileW((TempFolder() + stem + L"*").c_str(), &entry));
    if (search) {
        do {
            names.emplace_back(entry.cFileName);
        } while (FindNextFileW(search.Get(), &entry));
    }
    return names;
}

void CEndToEndTest::SetUpTestSuite()
{
    RegisterStandins();
}

void CEndToEndTest::TearDownTestSuite()
{
    CoInitialize(nullptr);
    EndPresentationProgram();
    CoUninitialize();
}

void CEndToEndTest::SetUp()
{
    CoInitialize(nullptr);
}

void CEndToEndTest::TearDown()
{
    CoUninitialize();
}

CSlidewarp& CEndToEndTest::Slidewarp()
{
    static CSlidewarp slidewarp;
    return slidewarp;
}

} // namespace EndToEnd
