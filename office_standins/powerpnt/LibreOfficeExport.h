// Conversion into the PowerPoint 97-2003 format by LibreOffice's headless converter.
#pragma once

#include "PresentationExport.h"

namespace StandIns {

// Runs `soffice --headless --convert-to ppt` in a private work folder and moves the result to
// targetPath. The program may be a Linux one that the process cannot wait for (Wine starts
// such a program by its Z: path without a process handle); the finished output file tells then
// that it is done.
HRESULT ConvertWithLibreOffice(const std::wstring& sofficePath, const SPresentationContent& content,
                               const std::wstring& targetPath, DWORD timeoutMs);

} // namespace StandIns
