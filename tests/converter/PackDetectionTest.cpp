#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "PackDetection.h"

using NsConverter::IsCompatibilityPackInstalled;

namespace {

// An uninstall key of the test's own Wine prefix, removed again at the end of the test.
class CUninstallKey {
public:
    explicit CUninstallKey(const std::wstring& product)
        : m_name(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                  nullptr),
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

} // namespace

TEST(PackDetection, AbsentWithoutAnyKeyOfThePack)
{
    EXPECT_FALSE(IsCompatibilityPackInstalled());
}

TEST(PackDetection, FoundThroughTheEnglishKey)
{
    const CUninstallKey key(L"{90120000-0020-0409-0000-0000000FF1CE}");
    EXPECT_TRUE(IsCompatibilityPackInstalled());
}

TEST(PackDetection, FoundThroughAKeyWrittenInUpperCase)
{
    const CUninstallKey key(L"{90120000-0020-0C0A-0000-0000000FF1CE}");
    EXPECT_TRUE(IsCompatibilityPackInstalled());
}

TEST(PackDetection, FoundThroughTheNeutralAndTheLastLanguage)
{
    {
        const CUninstallKey key(L"{90120000-0020-0000-0000-0000000FF1CE}");
        EXPECT_TRUE(IsCompatibilityPackInstalled());
    }
    const CUninstallKey key(L"{90120000-0020-3009-0000-0000000FF1CE}");
    EXPECT_TRUE(IsCompatibilityPackInstalled());
}

TEST(PackDetection, KeysOfOtherLanguagesOrProductsDoNotCount)
{
    const CUninstallKey notAPackLanguage(L"{90120000-0020-0C00-0000-0000000FF1CE}");
    const CUninstallKey notPadded(L"{90120000-0020-409-0000-0000000FF1CE}");
    const CUninstallKey otherProduct(L"{90120000-0021-0409-0000-0000000FF1CE}");
    EXPECT_FALSE(IsCompatibilityPackInstalled());
}
