// The host's one registry setting is read as a 32-bit number, whatever type it was stored
// with; anything that is not exactly four bytes of number falls back to the default.

#include "OffscreenBrowserWindow.h"
#include "Win32Owners.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class RegistrySettingTest : public ::testing::Test {
protected:
    // A key of this process only, so that a concurrent test never sees it.
    const std::wstring m_subKey = L"Software\\Brelvo\\PagehullTest\\" + std::to_wstring(::GetCurrentProcessId());

    void SetUp() override
    {
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, m_subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                    m_key.Receive(), nullptr),
                  ERROR_SUCCESS);
    }

    void TearDown() override
    {
        m_key.Reset();
        ::RegDeleteKeyW(HKEY_CURRENT_USER, m_subKey.c_str());
    }

    void Store(const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(::RegSetValueExW(m_key.Get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }

    DWORD Read(const wchar_t* name) const
    {
        return COffscreenBrowserWindow::ReadRegistryDword(m_subKey.c_str(), name, 77);
    }

    NsWin32::CRegistryKey m_key;
};

TEST_F(RegistrySettingTest, ReadsADwordOrFourBytesOfBinary)
{
    const DWORD number = 0x01020304;
    Store(L"dword", REG_DWORD, &number, sizeof(number));
    Store(L"binary", REG_BINARY, &number, sizeof(number));
    const DWORD zero = 0;
    Store(L"zero", REG_DWORD, &zero, sizeof(zero));

    EXPECT_EQ(Read(L"dword"), number);
    EXPECT_EQ(Read(L"binary"), number);
    EXPECT_EQ(Read(L"zero"), 0u);
}

TEST_F(RegistrySettingTest, FallsBackToTheDefaultForAnythingElse)
{
    const unsigned char eightBytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Store(L"longBinary", REG_BINARY, eightBytes, sizeof(eightBytes));
    Store(L"shortBinary", REG_BINARY, eightBytes, 2);
    const wchar_t text[] = L"1";
    Store(L"text", REG_SZ, text, sizeof(text));
    const unsigned long long wide = 1;
    Store(L"qword", REG_QWORD, &wide, sizeof(wide));

    EXPECT_EQ(Read(L"longBinary"), 77u);
    EXPECT_EQ(Read(L"shortBinary"), 77u);
    EXPECT_EQ(Read(L"text"), 77u);
    EXPECT_EQ(Read(L"qword"), 77u);
    EXPECT_EQ(Read(L"missing"), 77u);
    EXPECT_EQ(COffscreenBrowserWindow::ReadRegistryDword(L"Software\\Brelvo\\NoSuchKey", L"x", 5), 5u);
}

} // namespace
