#pragma once

// What the end-to-end tests share: Slidewarp.dll as the add-in loads it, the registered
// stand-ins of the presentation program and its converter with their settings, the processes
// they run in, and input files.

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Win32Owners.h"

namespace EndToEnd {

constexpr wchar_t kStandinImage[] = L"POWERPNT.EXE";
constexpr wchar_t kMeetingAddInGuid[] = L"{D68ED28D-BE2C-49AC-845D-E6AEAF6C7D33}";
constexpr wchar_t kConversionLockName[] = L"{CC8B51F8-4046-4853-BEAE-A64583194B68}";

// Slidewarp.dll, loaded and resolved by the plain names of its functions.
class CSlidewarp {
public:
    CSlidewarp();
    ~CSlidewarp();
    CSlidewarp(const CSlidewarp&) = delete;
    CSlidewarp& operator=(const CSlidewarp&) = delete;

    int (*ConvertPPTXtoPPT)(const wchar_t*, wchar_t*, unsigned int*) = nullptr;
    int (*IsPPTXtoPPTSupported)() = nullptr;
    bool (*GetPowerPointVersion)(wchar_t*, int, wchar_t*, int) = nullptr;
    int (*DeleteOutputFile)(const wchar_t*) = nullptr;

    int Convert(const std::wstring& input, const std::wstring& output);
    // The generated-name protocol: the size first, then the conversion. `output` receives the
    // generated path.
    int ConvertToGeneratedPath(const std::wstring& input, std::wstring& output);

private:
    HMODULE m_module;
};

// The stand-ins' settings for one test: nothing set at the start and at the end. LibreOffice is
// kept out (the stand-in then writes a small compound document), which keeps tests fast.
class CStandinSettings {
public:
    CStandinSettings();
    ~CStandinSettings();
    CStandinSettings(const CStandinSettings&) = delete;
    CStandinSettings& operator=(const CStandinSettings&) = delete;

    void Set(const wchar_t* name, DWORD value);
    void Set(const wchar_t* name, const std::wstring& value);
    void Version(const std::wstring& version, const std::wstring& build);
    void AddIn(const wchar_t* key, const std::wstring& progId, const std::wstring& guid, bool connected);
    void ConverterFails();

private:
    static void Clear();
};

std::wstring BinFolder();
std::wstring TempFolder();
// Runs a program to its end (at most a minute); its exit code, or -1.
DWORD RunProgram(const std::wstring& path, const std::wstring& arguments);
void RegisterStandins();
void UnregisterPresentationProgram();
void UnregisterConverter();

std::vector<DWORD> ProcessIds(const std::wstring& image);
// Both scale the time-out they are given for a busy machine.
bool WaitForProcessesToEnd(const std::wstring& image, DWORD timeoutMs);
// Ends every running presentation-program stand-in through automation and waits for them.
void EndPresentationProgram(DWORD timeoutMs = 20000);

std::string Narrow(const std::wstring& text);
// A base name that no other test run uses.
std::wstring UniqueName(const std::wstring& stem);
void WriteSample(const std::wstring& path);
void WriteModifyProtectedPackage(const std::wstring& path);
bool IsCompoundDocument(const std::wstring& path);
// Generated output folders (PPTxxxx.tmp) in the temporary directory.
std::set<std::wstring> GeneratedFolders();
// Files in the temporary directory whose names start with `stem`.
std::vector<std::wstring> TempFilesStartingWith(const std::wstring& stem);

// COM for the test thread and the stand-ins registered. A stand-in left running by one test
// serves the next, as the real program would; tests that need it gone end it themselves.
class CEndToEndTest : public testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Loaded once, as the add-in does, and kept for the whole run.
    static CSlidewarp& Slidewarp();
};

} // namespace EndToEnd
