#include "StandinSettings.h"

#include "../common/RegistryKey.h"
#include "../common/StandinNames.h"

#include <algorithm>

namespace StandIns {

namespace {

constexpr size_t kMaxTextChars = 260;
constexpr size_t kMaxAddIns = 64;
constexpr DWORD kMaxStartupDelayMs = 600000;

struct SFailureValue {
    const wchar_t* name;
    EInjectedFailure member;
};

constexpr SFailureValue kFailureValues[] = {
    {L"FailAdd", EInjectedFailure::Add},
    {L"FailClose", EInjectedFailure::Close},
    {L"FailComAddIns", EInjectedFailure::ComAddIns},
    {L"FailCount", EInjectedFailure::Count},
    {L"FailFullName", EInjectedFailure::FullName},
    {L"FailItem", EInjectedFailure::Item},
    {L"FailQuit", EInjectedFailure::Quit},
};

std::vector<SComAddInSetting> ReadAddIns(const CRegistryKey& settings)
{
    std::vector<SComAddInSetting> addIns;
    const CRegistryKey list = CRegistryKey::Open(settings.Get(), L"AddIns");
    for (const std::wstring& name : list.SubkeyNames(kMaxAddIns)) {
        const CRegistryKey entry = CRegistryKey::Open(list.Get(), name);
        SComAddInSetting addIn;
        addIn.progId = entry.ReadString(L"ProgId", kMaxTextChars).value_or(L"");
        addIn.guid = entry.ReadString(L"Guid", kMaxTextChars).value_or(L"");
        addIn.connected = entry.ReadDword(L"Connect").value_or(0) != 0;
        addIns.push_back(addIn);
    }
    return addIns;
}

} // namespace

SStandinSettings SStandinSettings::Load()
{
    SStandinSettings settings;
    const CRegistryKey key = CRegistryKey::Open(HKEY_CURRENT_USER, kPowerPointSettingsKey);
    if (!key.IsOpen())
        return settings;
    settings.version = key.ReadString(L"Version", kMaxTextChars).value_or(settings.version);
    settings.build = key.ReadString(L"Build", kMaxTextChars).value_or(settings.build);
    settings.startupDelayMs = std::min(key.ReadDword(L"StartupDelayMs").value_or(0), kMaxStartupDelayMs);
    settings.openReturnsNothing = key.ReadDword(L"OpenReturnsNothing").value_or(0) != 0;
    settings.saveAsResult = static_cast<HRESULT>(key.ReadDword(L"SaveAsResult").value_or(S_OK));
    settings.exitDuringSave = key.ReadDword(L"ExitDuringSave").value_or(0);
    // A configured "failure" that is a success code would make a failing member look fine.
    const HRESULT failureCode = static_cast<HRESULT>(key.ReadDword(L"FailureCode").value_or(E_FAIL));
    settings.failureCode = FAILED(failureCode) ? failureCode : E_FAIL;
    for (const SFailureValue& value : kFailureValues) {
        if (key.ReadDword(value.name).value_or(0) != 0)
            settings.failures.push_back(value.member);
    }
    settings.addIns = ReadAddIns(key);
    settings.libreOfficePath = key.ReadString(L"LibreOffice", kMaxTextChars).value_or(settings.libreOfficePath);
    settings.libreOfficeTimeoutMs = key.ReadDword(L"LibreOfficeTimeoutMs").value_or(settings.libreOfficeTimeoutMs);
    return settings;
}

HRESULT SStandinSettings::InjectedResult(EInjectedFailure member) const
{
    const bool fails = std::find(failures.begin(), failures.end(), member) != failures.end();
    return fails ? failureCode : S_OK;
}

} // namespace StandIns
