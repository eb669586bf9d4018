#pragma once

// The conversion functions of Slidewarp.dll, exported under these plain names. Every outcome
// is a status code (see ConverterState.h for the numbers); nothing is thrown to the caller.

#include "platform/Export.h"

extern "C" {

// Converts the .pptx at `inputPath` into a PowerPoint 97-2003 file. A null or empty
// `outputPath` asks for a generated path: `outputPathSize` then holds the buffer's capacity in
// wide characters, and on 1003 receives the capacity needed.
SLIDEWARP_API int ConvertPPTXtoPPT(const wchar_t* inputPath, wchar_t* outputPath, unsigned int* outputPathSize);

// 0 when this machine can convert, else the status code that says why not.
SLIDEWARP_API int IsPPTXtoPPTSupported(void);

// The presentation program's version and build texts, truncated to the capacities (at least 1
// each) and NUL-terminated. False, with nothing written, when the program cannot be asked.
SLIDEWARP_API bool GetPowerPointVersion(wchar_t* versionBuffer, int versionCount, wchar_t* buildBuffer, int buildCount);

// Removes a converted file and, for a generated path, its folder: 0 done, 1 the folder stayed,
// 2 the file could not be deleted, 3 no such file.
SLIDEWARP_API int DeleteOutputFile(const wchar_t* path);
}
