// What the presentation-program stand-in reports and which failures it injects, read from its
// per-user registry key (office_standins/README.md lists every value).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace StandIns {

struct SComAddInSetting {
    std::wstring progId;
    std::wstring guid;
    bool connected = false;
};

// Members whose failure can be injected; each returns the configured failure code.
enum class EInjectedFailure {
    Add,
    Close,
    ComAddIns,
    Count,
    FullName,
    Item,
    Quit,
};

struct SStandinSettings {
    std::wstring version = L"16.0";
    std::wstring build = L"4266";
    DWORD startupDelayMs = 0;
    bool openReturnsNothing = false;
    HRESULT saveAsResult = S_OK;
    // Non-zero: SaveAs writes part of the file and the process ends with this code, as a
    // program that crashes while saving does.
    DWORD exitDuringSave = 0;
    HRESULT failureCode = E_FAIL;
    std::vector<EInjectedFailure> failures;
    std::vector<SComAddInSetting> addIns;
    std::wstring libreOfficePath = L"Z:\\usr\\bin\\soffice";
    DWORD libreOfficeTimeoutMs = 120000;

    // Read on every use, so a running instance follows changes at once.
    static SStandinSettings Load();

    // S_OK, or the failure code when that member is set to fail.
    HRESULT InjectedResult(EInjectedFailure member) const;
};

} // namespace StandIns
