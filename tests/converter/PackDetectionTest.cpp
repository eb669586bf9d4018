#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PackDetection.h"
#include "Win32Owners.h"

using NsConverter::IsCompatibilityPackInstalled;

namespace {

// An uninstall key of the test's own Wine prefix, removed again at the end of the test.
class CUninstallKey {
public:
    explicit CUninstallKey(const std::wstring& product)
        : m_name(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        if (key)
            RegCloseKey(key);
    }
    ~CUninstallKey() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_name.c_str()); }
    CUninstallKey(const CUninstallKey&) = delete;
    CUninstallKey& operator=(const CUninstallKey&) = delete;

private:
    std::wstring m_name;
};

constexpr wchar_t kUninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kEnglishPack[] = L"{90120000-0020-0409-0000-0000000FF1CE}";
constexpr wchar_t kSetAside[] = L"Software\\SlidewarpTests\\EnglishPack";

// The stand-ins register the English pack in the same prefix; each test starts without it and
// the registration is put back afterwards.
class PackDetection : public testing::Test {
protected:
    void SetUp() override
    {
        HKEY pack = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallRoot) + kEnglishPack).c_str(), 0, KEY_READ,
                          &pack) != ERROR_SUCCESS)
            return;
        m_setAside = SHCopyKeyW(pack, nullptr, Key(HKEY_CURRENT_USER, kSetAside), 0) == ERROR_SUCCESS;
        RegCloseKey(pack);
        ASSERT_TRUE(m_setAside);
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallRoot) + kEnglishPack).c_str());
    }
    void TearDown() override
    {
        if (!m_setAside)
            return;
        HKEY setAside = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSetAside, 0, KEY_READ, &setAside), ERROR_SUCCESS);
        EXPECT_EQ(
            SHCopyKeyW(setAside, nullptr, Key(HKEY_LOCAL_MACHINE, std::wstring(kUninstallRoot) + kEnglishPack), 0),
            ERROR_SUCCESS);
        RegCloseKey(setAside);
        SHDeleteKeyW(HKEY_CURRENT_USER, kSetAside);
    }

private:
    // A key created for writing; it stays open until the test ends.
    HKEY Key(HKEY root, const std::wstring& name)
    {
        HKEY key = nullptr;
        RegCreateKeyExW(root, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        m_keys.emplace_back(key);
        return key;
    }

    bool m_setAside = false;
    std::vector<NsWin32::CRegistryKey> m_keys;
};

} // namespace

TEST_F(PackDetection, AbsentWithoutAnyKeyOfThePack)
{
    EXPECT_FALSE(IsCompatibilityPackInstalled());
}

TEST_F(PackDetection, FoundThroughTheEnglishKey)
{
    const CUninstallKey key(L"{90120000-0020-0409-0000-0000000FF1CE}");
    EXPECT_TRUE(IsCompatibilityPackInstalled());
}

TEST_F(PackDetection, FoundThroughAKeyWrittenInUpperCase)
{
    const CUninstallKey key(L"{90120000-0020-0C0A-0000-0000000FF1CE}");
    EXPECT_TRUE(IsCompatibilityPackInstalled());
}

TEST_F(PackDetection, FoundThroughTheNeutralAndTheLastLanguage)
{
    {
        const CUninstallKey key(L"{90120000-0020-0000-0000-0000000FF1CE}");
        EXPECT_TRUE(IsCompatibilityPackInstalled());
    }
    const CUninstallKey key(L"{90120000-0020-3009-0000-0000000FF1CE}");
    EXPECT_TRUE(IsCompatibilityPackInstalled());
}

TEST_F(PackDetection, KeysOfOtherLanguagesOrProductsDoNotCount)
{
    const CUninstallKey notAPackLanguage(L"{90120000-0020-0C00-0000-0000000FF1CE}");
    const CUninstallKey notPadded(L"{90120000-0020-409-0000-0000000FF1CE}");
    const CUninstallKey otherProduct(L"{90120000-0021-0409-0000-0000000FF1CE}");
    EXPECT_FALSE(IsCompatibilityPackInstalled());
}
