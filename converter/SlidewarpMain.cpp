#include <windows.h>

#include "Conversion.h"
#include "PowerPointAutomation.h"
#include "Slidewarp.h"

using namespace NsConverter;

// An exception must never unwind into the caller, which has a C++ runtime of its own (or
// none): whatever escapes the work below, memory exhaustion in practice, is a failure.

int ConvertPPTXtoPPT(const wchar_t* inputPath, wchar_t* outputPath, unsigned int* outputPathSize)
{
    try {
        return ConvertPresentation(inputPath, outputPath, outputPathSize);
    } catch (...) {
        return StatusFailed;
    }
}

int IsPPTXtoPPTSupported(void)
{
    try {
        return CheckConversionSupport();
    } catch (...) {
        return StatusFailed;
    }
}

bool GetPowerPointVersion(wchar_t* versionBuffer, int versionCount, wchar_t* buildBuffer, int buildCount)
{
    try {
        return ReportPowerPointVersion(versionBuffer, versionCount, buildBuffer, buildCount);
    } catch (...) {
        return false;
    }
}

int DeleteOutputFile(const wchar_t* path)
{
    try {
        return DeleteConvertedFile(path);
    } catch (...) {
        return DeleteFailed;
    }
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
