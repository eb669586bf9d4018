// Registering and unregistering the stand-ins, as the converter's lookups see it.
#include "StandinTestSupport.h"

#include "../../office_standins/common/FilePaths.h"
#include "../../office_standins/common/RegistryKey.h"
#include "../../office_standins/common/StandinNames.h"

namespace StandInTests {
namespace {

using StandIns::CRegistryKey;

constexpr const wchar_t* kConverterServerKey = L"CLSID\\{60505FA3-3FAA-4EC5-AE2B-C002F2E4271B}\\LocalServer32";
constexpr size_t kMaxValueChars = 1024;

bool PackRegistered()
{
    return CRegistryKey::Open(HKEY_LOCAL_MACHINE, StandIns::kCompatibilityPackUninstallKey).IsOpen();
}

TEST(StandinRegistration, UnregisteringRemovesEveryEntryAndRegisteringRestoresThem)
{
    const StandIns::CComApartment apartment;
    UnregisterStandIns();
    CLSID clsid = {};
    EXPECT_TRUE(FAILED(CLSIDFromProgID(StandIns::kApplicationProgId, &clsid)));
    CComPtr<IUnknown> application;
    EXPECT_TRUE(FAILED(CreateApplication(application)));
    EXPECT_FALSE(CRegistryKey::Open(HKEY_CLASSES_ROOT, kConverterServerKey).IsOpen());
    EXPECT_FALSE(PackRegistered());
    UnregisterStandIns(); // nothing left to remove is no failure

    RegisterStandIns();
    ASSERT_EQ(CLSIDFromProgID(StandIns::kApplicationProgId, &clsid), S_OK);
    wchar_t clsidText[40] = {};
    StringFromGUID2(clsid, clsidText, 40);
    const auto server = CRegistryKey::Open(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + clsidText + L"\\LocalServer32")
                            .ReadString(nullptr, kMaxValueChars);
    ASSERT_TRUE(server.has_value());
    EXPECT_NE(server->find(TestBinFolder() + L"\\POWERPNT.EXE"), std::wstring::npos);

    // The converter's folder is read from the value as it stands, so it carries no quotes.
    const auto converter =
        CRegistryKey::Open(HKEY_CLASSES_ROOT, kConverterServerKey).ReadString(nullptr, kMaxValueChars);
    ASSERT_TRUE(converter.has_value());
    EXPECT_EQ(*converter, TestBinFolder() + L"\\moc.exe");
    EXPECT_TRUE(StandIns::FileExists(StandIns::ParentFolder(*converter) + L"\\moc.exe"));
    EXPECT_TRUE(PackRegistered());
}

} // namespace
} // namespace StandInTests
