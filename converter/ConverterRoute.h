#pragma once

#include <windows.h>

#include <string>

#include "ConverterState.h"

namespace NsConverter {

// The compatibility converter's program, moc.exe, in the folder of the program registered for
// the converter's COM class; empty when the class, its server value or that folder is missing.
std::wstring FindConverterPath();

// Runs the converter on the copy from the converter's own folder, where its relative program
// name is found, and puts the caller's current directory back. False, with nothing started,
// when that folder cannot be made the current directory: the name would then find whatever
// program of that name lies in the caller's directory.
bool RunConverter(const std::wstring& converterPath, const std::wstring& copyPath);

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
