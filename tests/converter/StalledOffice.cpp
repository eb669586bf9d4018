// Takes LibreOffice's place behind the presentation-program stand-in, so that a test can act
// while a save is under way and see what the converter was given:
// - it writes "soffice" to each of its standard handles that it has;
// - when the test has created the events "SlidewarpFault-saving" and "SlidewarpFault-release",
//   it sets the first and waits until the test sets the second (at most a minute);
// - it writes a small compound document as out\source.ppt, where the stand-in expects
//   LibreOffice's result, complete the moment it appears there.
#include <windows.h>

#include <fstream>

#include "TestTime.h"
#include "Win32Owners.h"

namespace {

const DWORD kReleaseTimeoutMs = NsTestSupport::ScaledMs(60000);
constexpr char kMarker[] = "soffice\n";

void WriteMarkerToStandardHandles()
{
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = GetStdHandle(which);
        DWORD written = 0;
        if (handle && handle != INVALID_HANDLE_VALUE)
            WriteFile(handle, kMarker, sizeof(kMarker) - 1, &written, nullptr);
    }
}

// False when the test asked for a stall and did not end it in time.
bool StallIfAsked()
{
    const NsWin32::CKernelHandle saving(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"SlidewarpFault-saving"));
    const NsWin32::CKernelHandle release(OpenEventW(SYNCHRONIZE, FALSE, L"SlidewarpFault-release"));
    if (!saving || !release)
        return true;
    SetEvent(saving.Get());
    return WaitForSingleObject(release.Get(), kReleaseTimeoutMs) == WAIT_OBJECT_0;
}

} // namespace

int wmain()
{
    WriteMarkerToStandardHandles();
    if (!StallIfAsked())
        return 3;
    {
        std::ofstream output("out\\source.part", std::ios::binary);
        output.write("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
        if (!output)
            return 4;
    }
    return MoveFileW(L"out\\source.part", L"out\\source.ppt") ? 0 : 5;
}
