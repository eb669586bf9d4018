#include "PresentationExport.h"

#include "CompoundFile.h"
#include "LibreOfficeExport.h"
#include "StandinSettings.h"

#include "../common/FilePaths.h"

namespace StandIns {

HRESULT ExportPresentation(const SPresentationContent& content, const std::wstring& targetPath,
                           const SStandinSettings& settings)
{
    const bool useLibreOffice =
        !content.bytes.empty() && !settings.libreOfficePath.empty() && FileExists(settings.libreOfficePath);
    if (useLibreOffice)
        return ConvertWithLibreOffice(settings.libreOfficePath, content, targetPath, settings.libreOfficeTimeoutMs);
    return WriteWholeFile(targetPath, BuildEmptyCompoundFile());
}

} // namespace StandIns
