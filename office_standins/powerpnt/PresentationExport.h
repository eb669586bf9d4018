// Writing a presentation in the PowerPoint 97-2003 format.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace StandIns {

struct SStandinSettings;

// What a presentation was loaded from; a new presentation has no bytes.
struct SPresentationContent {
    std::vector<BYTE> bytes;
    std::wstring extension; // of the file it came from, with its dot
};

// Through LibreOffice when the settings name an installed one and there is a document to
// convert; otherwise as a small, empty compound document.
HRESULT ExportPresentation(const SPresentationContent& content, const std::wstring& targetPath,
                           const SStandinSettings& settings);

} // namespace StandIns
