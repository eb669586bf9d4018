#include "StandinTestSupport.h"

#include "../../office_standins/common/FilePaths.h"
#include "../../office_standins/common/RegistryKey.h"
#include "../../office_standins/common/StandinNames.h"
#include "LeavingServer.h"
#include "TestTime.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>
#include <zip.h>

#include <string>

namespace StandInTests {

using namespace StandIns;

const IID kApplicationIid = {0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
const IID kPresentationsIid = {0x91493462, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
const IID kPresentationIid = {0x9149349D, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
const IID kComAddInsIid = {0x000C0339, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kComAddInIid = {0x000C033A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

HRESULT GetObject(IUnknown* object, int slot, CComPtr<IUnknown>& result)
{
    return CallSlot(object, slot, result.Receive());
}

HRESULT GetText(IUnknown* object, int slot, std::wstring& text)
{
    CBstr value;
    const HRESULT hr = CallSlot(object, slot, value.Receive());
    text = value.Text();
    return hr;
}

HRESULT GetCount(IUnknown* object, int slot, long& count)
{
    return CallSlot(object, slot, &count);
}

HRESULT OpenPresentation(IUnknown* presentations, const std::wstring& path, CComPtr<IUnknown>& presentation)
{
    const CBstr name(path);
    return CallSlot(presentations, Slot::kPresentationsOpen, name.Get(), kMsoTrue, kMsoFalse, kMsoFalse,
                    presentation.Receive());
}

HRESULT SavePresentation(IUnknown* presentation, const std::wstring& path)
{
    const CBstr name(path);
    return CallSlot(presentation, Slot::kPresentationSaveAs, name.Get(), kSaveAsPresentation, kMsoFalse);
}

HRESULT PresentationItem(IUnknown* presentations, long index, CComPtr<IUnknown>& presentation)
{
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = index;
    return CallSlot(presentations, Slot::kPresentationsItem, number, presentation.Receive());
}

HRESULT CreateApplication(CComPtr<IUnknown>& application)
{
    CLSID clsid = {};
    HRESULT hr = CLSIDFromProgID(kApplicationProgId, &clsid);
    if (hr != S_OK)
        return FAILED(hr) ? hr : E_FAIL;
    // The instance an earlier test let go may be leaving just as this one asks.
    for (int attempt = 0; attempt < 2; ++attempt) {
        CComPtr<IUnknown> unknown;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                              IID_IUnknown, reinterpret_cast<void**>(unknown.Receive()));
        if (SUCCEEDED(hr))
            hr = unknown->QueryInterface(kApplicationIid, reinterpret_cast<void**>(application.Receive()));
        if (!NsWin32::ReachedLeavingServer(hr))
            break;
    }
    return hr;
}

std::wstring TestBinFolder()
{
    return ParentFolder(ModuleFilePath(nullptr));
}

DWORD RunBinProgram(const std::wstring& program, const std::wstring& arguments)
{
    const std::wstring path = TestBinFolder() + L"\\" + program;
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return static_cast<DWORD>(-1);
    const NsWin32::CKernelHandle processHandle(process.hProcess);
    const NsWin32::CKernelHandle threadHandle(process.hThread);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(processHandle.Get(), NsTestSupport::ScaledMs(60000)) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(processHandle.Get(), &exitCode))
        return static_cast<DWORD>(-1);
    return exitCode;
}

void RegisterStandIns()
{
    ASSERT_EQ(RunBinProgram(L"POWERPNT.EXE", L"/RegServer"), 0u);
    ASSERT_EQ(RunBinProgram(L"moc.exe", L"/RegServer"), 0u);
}

void UnregisterStandIns()
{
    ASSERT_EQ(RunBinProgram(L"POWERPNT.EXE", L"/UnregServer"), 0u);
    ASSERT_EQ(RunBinProgram(L"moc.exe", L"/UnregServer"), 0u);
}

std::vector<DWORD> RunningServerIds()
{
    std::vector<DWORD> ids;
    const NsWin32::CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, kApplicationImageName) == 0)
            ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

bool WaitForServersToEnd(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    const DWORD limitMs = NsTestSupport::ScaledMs(timeoutMs);
    for (DWORD id : RunningServerIds()) {
        const NsWin32::CKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        const DWORD elapsed = GetTickCount() - start;
        if (process && (elapsed >= limitMs || WaitForSingleObject(process.Get(), limitMs - elapsed) != WAIT_OBJECT_0))
            return false;
    }
    return true;
}

CSettingsScope::CSettingsScope()
{
    Clear();
}

CSettingsScope::~CSettingsScope()
{
    Clear();
}

void CSettingsScope::Clear()
{
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kPowerPointSettingsKey);
    CRegistryKey::DeleteTree(HKEY_CURRENT_USER, kConverterSettingsKey);
}

void CSettingsScope::SetText(const wchar_t* name, const std::wstring& value)
{
    ASSERT_TRUE(CRegistryKey::Create(HKEY_CURRENT_USER, kPowerPointSettingsKey).WriteString(name, value));
}

void CSettingsScope::SetNumber(const wchar_t* name, DWORD value)
{
    ASSERT_TRUE(CRegistryKey::Create(HKEY_CURRENT_USER, kPowerPointSettingsKey).WriteDword(name, value));
}

void CSettingsScope::AddComAddIn(const std::wstring& key, const std::wstring& progId, const std::wstring& guid,
                                 bool connected)
{
    CRegistryKey addIn =
        CRegistryKey::Create(HKEY_CURRENT_USER, std::wstring(kPowerPointSettingsKey) + L"\\AddIns\\" + key);
    ASSERT_TRUE(addIn.WriteString(L"ProgId", progId));
    ASSERT_TRUE(addIn.WriteString(L"Guid", guid));
    ASSERT_TRUE(addIn.WriteDword(L"Connect", connected ? 1 : 0));
}

void CSettingsScope::SetConverterNumber(const wchar_t* name, DWORD value)
{
    ASSERT_TRUE(CRegistryKey::Create(HKEY_CURRENT_USER, kConverterSettingsKey).WriteDword(name, value));
}

void StandinClientTest::SetUp()
{
    ASSERT_EQ(m_apartment.Result(), S_OK);
    ASSERT_EQ(CreateApplication(m_application), S_OK);
    ASSERT_EQ(GetObject(m_application.Get(), Slot::kApplicationPresentations, m_presentations), S_OK);
}

void StandinClientTest::TearDown()
{
    CSettingsScope::Clear();
    long count = 0;
    while (m_presentations && GetCount(m_presentations.Get(), Slot::kPresentationsCount, count) == S_OK && count > 0) {
        CComPtr<IUnknown> presentation;
        ASSERT_EQ(PresentationItem(m_presentations.Get(), 1, presentation), S_OK);
        ASSERT_EQ(CallSlot(presentation.Get(), Slot::kPresentationClose), S_OK);
    }
}

IUnknown* StandinClientTest::Presentations()
{
    return m_presentations.Get();
}

CTestFolder::CTestFolder() : m_path(CreateTempFolder(L"sti"))
{
    EXPECT_FALSE(m_path.empty());
}

CTestFolder::~CTestFolder()
{
    DeleteFolderTree(m_path);
}

namespace {

constexpr const char* kPackageParts[][2] = {
    {"[Content_Types].xml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
     "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
     "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
     "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
     "<Override PartName=\"/ppt/presentation.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml\"/>"
     "<Override PartName=\"/ppt/slides/slide1.xml\" "
     "ContentType=\"application/vnd.openxmlformats-officedocument.presentationml.slide+xml\"/></Types>"},
    {"_rels/.rels", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
                    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                    "<Relationship Id=\"rId1\" "
                    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
                    "Target=\"ppt/presentation.xml\"/></Relationships>"},
    {"ppt/presentation.xml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
     "<p:presentation xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
     "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
     "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\">"
     "<p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/></p:sldIdLst>"
     "<p:sldSz cx=\"9144000\" cy=\"6858000\"/><p:notesSz cx=\"6858000\" cy=\"9144000\"/></p:presentation>"},
    {"ppt/_rels/presentation.xml.rels",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
     "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide\" "
     "Target=\"slides/slide1.xml\"/></Relationships>"},
    {"ppt/slides/slide1.xml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
     "<p:sld xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
     "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
     "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\">"
     "<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
     "<p:grpSpPr/></p:spTree></p:cSld></p:sld>"},
};

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], size, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

} // namespace

void WritePresentationPackage(const std::wstring& path)
{
    // The test folders' paths are plain ASCII, which minizip's narrow-path open accepts as is.
    zipFile zip = zipOpen(Utf8(path).c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const auto& part : kPackageParts) {
        ASSERT_EQ(zipOpenNewFileInZip(zip, part[0], nullptr, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zip, part[1], static_cast<unsigned>(strlen(part[1]))), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

std::vector<std::wstring> CompoundDocumentElements(const std::wstring& path)
{
    std::vector<std::wstring> names;
    CComPtr<IStorage> storage;
    const HRESULT hr =
        StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.Receive());
    EXPECT_EQ(hr, S_OK) << "not a compound document";
    if (FAILED(hr))
        return names;
    CComPtr<IEnumSTATSTG> elements;
    EXPECT_EQ(storage->EnumElements(0, nullptr, 0, elements.Receive()), S_OK);
    STATSTG element;
    while (elements && elements->Next(1, &element, nullptr) == S_OK) {
        names.emplace_back(element.pwcsName);
        CoTaskMemFree(element.pwcsName);
    }
    return names;
}

FILETIME FileWriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

FILETIME CurrentTime()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME time = {};
    SystemTimeToFileTime(&now, &time);
    return time;
}

} // namespace StandInTests
