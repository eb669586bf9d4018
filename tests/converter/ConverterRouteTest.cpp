// Finding the compatibility converter through its class registration, and running a program
// the way the converter is run.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ConverterRoute.h"
#include "TestFolder.h"
#include "platform/FileSystem.h"
#include "Win32Owners.h"

using namespace NsConverter;

namespace {

constexpr wchar_t kServerKey[] = L"Software\\Classes\\CLSID\\{60505FA3-3FAA-4EC5-AE2B-C002F2E4271B}\\LocalServer32";

std::wstring BinFolder()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, length);
    return path.substr(0, path.rfind(L'\\') + 1);
}

// Stands in for the converter's registration for one test and puts back what was there.
class CServerRegistration {
public:
    CServerRegistration() : m_saved(Read()) {}
    ~CServerRegistration()
    {
        if (m_saved)
            Write(REG_SZ, m_saved->c_str(), (m_saved->size() + 1) * sizeof(wchar_t));
        else
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kServerKey);
    }
    CServerRegistration(const CServerRegistration&) = delete;
    CServerRegistration& operator=(const CServerRegistration&) = delete;

    void Set(const std::wstring& value, DWORD type = REG_SZ)
    {
        Write(type, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
    }
    // Stored text without its terminating NUL.
    void SetUnterminated(const std::wstring& value) { Write(REG_SZ, value.c_str(), value.size() * sizeof(wchar_t)); }

private:
    static std::optional<std::wstring> Read()
    {
        wchar_t value[1024];
        DWORD bytes = sizeof(value);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, kServerKey, nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
            ERROR_SUCCESS)
            return std::nullopt;
        return std::wstring(value);
    }

    static void Write(DWORD type, const void* data, std::size_t bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const NsWin32::CRegistryKey owner(key);
        EXPECT_EQ(RegSetValueExW(key, nullptr, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes)),
                  ERROR_SUCCESS);
    }

    std::optional<std::wstring> m_saved;
};

} // namespace

TEST(FindConverterPath, TakesTheConverterFromTheFolderOfTheRegisteredServer)
{
    CServerRegistration registration;
    CTestFolder folder;

    registration.Set(folder.Path(L"server.exe"));
    EXPECT_EQ(FindConverterPath(), folder.Path(L"moc.exe"));
    registration.SetUnterminated(folder.Path(L"server.exe"));
    EXPECT_EQ(FindConverterPath(), folder.Path(L"moc.exe"));
}

TEST(FindConverterPath, FindsNothingBehindAnUnusableRegistration)
{
    CServerRegistration registration;
    CTestFolder folder;

    registration.Set(folder.Path(L"missing\\server.exe"));
    EXPECT_EQ(FindConverterPath(), L"");
    // The quote stays part of the folder's name.
    registration.Set(L"\"" + folder.Path(L"server.exe") + L"\" /automation");
    EXPECT_EQ(FindConverterPath(), L"");
    registration.Set(folder.Path(std::wstring(300, L'x') + L"\\server.exe"));
    EXPECT_EQ(FindConverterPath(), L"");
    registration.Set(folder.Path(L"server.exe"), REG_BINARY);
    EXPECT_EQ(FindConverterPath(), L"");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kServerKey);
    EXPECT_EQ(FindConverterPath(), L"");
}

TEST(RunProcessAndWait, ResolvesARelativeProgramInTheCurrentDirectoryAndReturnsItsExitCode)
{
    const CCurrentDirectory current(BinFolder());
    DWORD exitCode = 99;
    // The helper's exit code 1 says that the mutex named on its command line is free.
    EXPECT_TRUE(
        RunProcessAndWait(L"NamedMutexHolder.exe", L"\"NamedMutexHolder.exe\" probe swconv-free-mutex", exitCode));
    EXPECT_EQ(exitCode, 1u);
    EXPECT_TRUE(RunProcessAndWait(L"NamedMutexHolder.exe", L"\"NamedMutexHolder.exe\" unknown-mode", exitCode));
    EXPECT_EQ(exitCode, 2u);
}

TEST(RunProcessAndWait, ReportsAProgramThatCannotStart)
{
    CTestFolder empty;
    const CCurrentDirectory current(empty.Path());
    DWORD exitCode = 99;
    EXPECT_FALSE(RunProcessAndWait(L"NamedMutexHolder.exe", L"\"NamedMutexHolder.exe\" probe x", exitCode));
    EXPECT_EQ(exitCode, 99u);
}
