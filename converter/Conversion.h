#pragma once

#include <string>

#include "ConverterState.h"

namespace NsConverter {

// A path in the temporary directory named after `source` (its file name without the last
// extension) plus `extension`. With `ownFolder` the path lies in a fresh, not yet created
// folder TEMP\PPTxxxx.tmp; without, directly in TEMP, numbered BASE_1, BASE_2 ... past names
// that are taken and past `reserved`, however that is spelled. Empty or relative when the
// temporary directory cannot be used.
std::wstring MakeTempFilePath(const std::wstring& source, const std::wstring& extension, bool ownFolder,
                              const std::wstring& reserved = std::wstring());

// The work behind the exported functions. They may throw only when memory runs out; the
// exported functions map that to their failure result.
StatusCode ConvertPresentation(const wchar_t* inputPath, wchar_t* outputPath, unsigned int* outputPathSize);
bool ReportPowerPointVersion(wchar_t* versionBuffer, int versionCount, wchar_t* buildBuffer, int buildCount);
DeleteStatus DeleteConvertedFile(const wchar_t* path);

} // namespace NsConverter
