// What the stand-in tests share: a client that reaches members through raw virtual-table slots
// (as the converter does, without our header), the stand-ins' registration and settings, the
// running server process, and fixture files.
#pragma once

#include "../../office_standins/common/ComOwners.h"
#include "Win32Owners.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace StandInTests {

using NsWin32::CBstr;
using NsWin32::CComPtr;

// Interface identifiers and slots that the converter binds to.
extern const IID kApplicationIid;
extern const IID kPresentationsIid;
extern const IID kPresentationIid;
extern const IID kComAddInsIid;
extern const IID kComAddInIid;

namespace Slot {
constexpr int kApplicationPresentations = 7;
constexpr int kApplicationBuild = 21;
constexpr int kApplicationVersion = 22;
constexpr int kApplicationQuit = 29;
constexpr int kApplicationComAddIns = 49;
constexpr int kPresentationsCount = 9;
constexpr int kPresentationsItem = 12;
constexpr int kPresentationsAdd = 13;
constexpr int kPresentationsOpen = 15;
constexpr int kPresentationFullName = 30;
constexpr int kPresentationSaveAs = 44;
constexpr int kPresentationClose = 47;
constexpr int kComAddInsItem = 9;
constexpr int kComAddInsCount = 10;
constexpr int kComAddInProgId = 11;
constexpr int kComAddInGuid = 12;
constexpr int kComAddInConnect = 13;
} // namespace Slot

constexpr int kMsoTrue = -1;
constexpr int kMsoFalse = 0;
constexpr int kSaveAsPresentation = 1;

template <class... Args>
HRESULT CallSlot(IUnknown* object, int slot, Args... args)
{
    using Method = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, Args...);
    Method method = reinterpret_cast<Method>((*reinterpret_cast<void***>(object))[slot]);
    return method(object, args...);
}

// Members the tests call often, each through its slot.
HRESULT GetObject(IUnknown* object, int slot, CComPtr<IUnknown>& result);
HRESULT GetText(IUnknown* object, int slot, std::wstring& text);
HRESULT GetCount(IUnknown* object, int slot, long& count);
HRESULT OpenPresentation(IUnknown* presentations, const std::wstring& path, CComPtr<IUnknown>& presentation);
HRESULT SavePresentation(IUnknown* presentation, const std::wstring& path);
HRESULT PresentationItem(IUnknown* presentations, long index, CComPtr<IUnknown>& presentation);

// Created by ProgID in the classes' contexts that the converter uses, then asked for _Application.
HRESULT CreateApplication(CComPtr<IUnknown>& application);

std::wstring TestBinFolder();
// Runs a program from the test's bin folder to its end; its exit code, or -1.
DWORD RunBinProgram(const std::wstring& program, const std::wstring& arguments);
void RegisterStandIns();
void UnregisterStandIns();

// Ids of the running stand-in servers.
std::vector<DWORD> RunningServerIds();
// Waits until no stand-in server runs any more; false after timeoutMs.
bool WaitForServersToEnd(DWORD timeoutMs);

// Clears the stand-ins' settings when it begins and when it ends.
class CSettingsScope {
public:
    CSettingsScope();
    CSettingsScope(const CSettingsScope&) = delete;
    CSettingsScope& operator=(const CSettingsScope&) = delete;
    ~CSettingsScope();

    void SetText(const wchar_t* name, const std::wstring& value);
    void SetNumber(const wchar_t* name, DWORD value);
    void AddComAddIn(const std::wstring& key, const std::wstring& progId, const std::wstring& guid, bool connected);
    void SetConverterNumber(const wchar_t* name, DWORD value);
    static void Clear();
};

// A client of the registered stand-in in this thread's apartment, with settings of its own.
// Whatever a test leaves open is closed afterwards, so the next test meets an empty instance.
class StandinClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterStandIns(); }
    void SetUp() override;
    void TearDown() override;

    IUnknown* Presentations();

    StandIns::CComApartment m_apartment;
    CSettingsScope m_settings;
    CComPtr<IUnknown> m_application;
    CComPtr<IUnknown> m_presentations;
};

// A temporary folder of the test's own, removed with its content.
class CTestFolder {
public:
    CTestFolder();
    CTestFolder(const CTestFolder&) = delete;
    CTestFolder& operator=(const CTestFolder&) = delete;
    ~CTestFolder();
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

// A small Office Open XML presentation package with one empty slide.
void WritePresentationPackage(const std::wstring& path);
// The top-level element names of a compound document; fails the test when it is not one.
std::vector<std::wstring> CompoundDocumentElements(const std::wstring& path);
FILETIME FileWriteTime(const std::wstring& path);
FILETIME CurrentTime();

} // namespace StandInTests
