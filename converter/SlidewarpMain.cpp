#include <windows.h>

#include "Conversion.h"
#include "PowerPointAutomation.h"
#include "Slidewarp.h"
#include "platform/NoThrow.h"

using namespace NsConverter;
using NsPlatform::NoThrow;

// Whatever escapes the work below, memory exhaustion in practice, is a failure (NoThrow says
// why it must not unwind into the caller).

int ConvertPPTXtoPPT(const wchar_t* inputPath, wchar_t* outputPath, unsigned int* outputPathSize)
{
    return NoThrow<int>([&] { return ConvertPresentation(inputPath, outputPath, outputPathSize); }, StatusFailed);
}

int IsPPTXtoPPTSupported(void)
{
    return NoThrow<int>([] { return CheckConversionSupport(); }, StatusFailed);
}

bool GetPowerPointVersion(wchar_t* versionBuffer, int versionCount, wchar_t* buildBuffer, int buildCount)
{
    return NoThrow<bool>([&] { return ReportPowerPointVersion(versionBuffer, versionCount, buildBuffer, buildCount); });
}

int DeleteOutputFile(const wchar_t* path)
{
    return NoThrow<int>([&] { return DeleteConvertedFile(path); }, DeleteFailed);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
