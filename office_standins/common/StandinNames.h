// Names by which clients, the installer and tests find the stand-ins.
#pragma once

namespace StandIns {

// Presentation program.
constexpr const wchar_t* kApplicationProgId = L"PowerPoint.Application";
constexpr const wchar_t* kApplicationClsid = L"{E312CB83-BA3D-4EE7-922C-0CDB3BF5AD38}";
constexpr const wchar_t* kApplicationImageName = L"POWERPNT.EXE";
// Per-user settings of the presentation-program stand-in (office_standins/README.md).
constexpr const wchar_t* kPowerPointSettingsKey = L"Software\\OfficeStandins\\PowerPoint";

// Compatibility converter: the converter class whose server folder holds moc.exe, and the
// uninstall registration of the English compatibility pack.
constexpr const wchar_t* kConverterClassKey = L"Software\\Classes\\CLSID\\{60505FA3-3FAA-4EC5-AE2B-C002F2E4271B}";
constexpr const wchar_t* kCompatibilityPackUninstallKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{90120000-0020-0409-0000-0000000FF1CE}";
constexpr const wchar_t* kConverterSettingsKey = L"Software\\OfficeStandins\\Converter";

} // namespace StandIns
