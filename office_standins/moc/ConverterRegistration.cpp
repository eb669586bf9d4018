#include "ConverterRegistration.h"

#include "../common/FilePaths.h"
#include "../common/RegistryKey.h"
#include "../common/StandinNames.h"

namespace StandIns {

bool RegisterConverter(const std::wstring& converterPath)
{
    // Unquoted: callers take the folder from this text as it stands.
    CRegistryKey server =
        CRegistryKey::Create(HKEY_LOCAL_MACHINE, std::wstring(kConverterClassKey) + L"\\LocalServer32");
    CRegistryKey pack = CRegistryKey::Create(HKEY_LOCAL_MACHINE, kCompatibilityPackUninstallKey);
    return server.WriteString(nullptr, converterPath) &&
           pack.WriteString(L"DisplayName", L"Office file-format compatibility pack (stand-in)") &&
           pack.WriteString(L"InstallLocation", ParentFolder(converterPath));
}

bool UnregisterConverter()
{
    const bool serverGone = CRegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, kConverterClassKey);
    const bool packGone = CRegistryKey::DeleteTree(HKEY_LOCAL_MACHINE, kCompatibilityPackUninstallKey);
    return serverGone && packGone;
}

} // namespace StandIns
