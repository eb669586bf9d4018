#pragma once

#include <string>

#include "ComSupport.h"
#include "ConverterState.h"
#include "PowerPointInterfaces.h"

namespace NsConverter {

enum ProbeResult {
    ProbeAnswered = 0,
    ProbeTimedOut = 1,
    ProbeCannotStart = 2,
};

// Windows XP, and every Windows from major version 6 on.
bool IsSupportedWindowsVersion() noexcept;

// Whether a process named POWERPNT.EXE exists now.
bool IsPowerPointRunning() noexcept;

// The presentation program's application object, a new instance or the one already serving
// automation; null when it is not registered or cannot be created. When the meeting add-in is
// loaded in it, waits a moment for the add-in before returning. Raises _com_error when the
// object exists but cannot be asked for its interface.
CComPtr<PowerPoint::_Application> StartPowerPoint();

// Starts the presentation program on a worker thread and waits for it, 5 s when it is running
// already and 10 s otherwise. After a time-out the worker finishes on its own; it keeps this
// module loaded until it has.
ProbeResult ProbePowerPoint() noexcept;

// Reads the program's version and build texts and records their numbers in DetectedVersion
// and DetectedBuild. Initialises COM on the calling thread for its own use. False when the
// program cannot be started or asked; `version` may hold its text even then.
bool QueryPowerPointVersion(std::wstring& version, std::wstring& build) noexcept;

// Whether this machine can convert: StatusSuccess, StatusStartTimeout, StatusCannotStart,
// StatusUnsupportedWindows or StatusFailed (program too old, or 11.0 without the
// compatibility pack).
StatusCode CheckConversionSupport();

// The direct route: the program opens the temporary copy and saves it as a 97-2003
// presentation at the output path. Raises _com_error for a failed automation call.
StatusCode ConvertDirectly(const std::wstring& copyPath, const std::wstring& outputPath);

} // namespace NsConverter
