#pragma once

#include <windows.h>

#include <string>

#include "ConverterState.h"

namespace NsConverter {

// The compatibility converter's program, moc.exe, in the folder of the program registered for
// the converter's COM class; empty when the class, its server value or that folder is missing.
std::wstring FindConverterPath();

// Starts `application` without a window and waits for it to end. False when it could not be
// started. `exitCode` receives its exit code (1 when it cannot be read).
bool RunProcessAndWait(const std::wstring& application, std::wstring commandLine, DWORD& exitCode);

// The converter route: the converter turns the temporary copy into a presentation that the
// presentation program then holds open, and that presentation's file is moved to the output
// path. The program is asked to quit afterwards when it was not running before the conversion
// and nothing is open in it any more. Raises _com_error for a failed automation call.
StatusCode ConvertThroughConverter(const std::wstring& copyPath, const std::wstring& outputPath,
                                   bool powerPointWasRunning);

} // namespace NsConverter
