#pragma once

#include <cstdint>
#include <string>

namespace NsConverter {

// Results of ConvertPPTXtoPPT and IsPPTXtoPPTSupported. The numbers are the library's
// interface and never change.
enum StatusCode : std::int32_t {
    StatusSuccess = 0,
    StatusLockHeld = 1000, // another conversion holds the conversion lock
    StatusOutputExists = 1001, // the output path exists, as a file or a folder
    StatusStartTimeout = 1002, // the presentation program did not come up in time
    StatusBufferTooSmall = 1003, // the required size of the output buffer was stored
    StatusCannotStart = 2000, // the presentation program cannot be automated
    StatusSaveIncomplete = 2001, // saving returned a success code other than S_OK
    StatusFailed = 2002, // conversion impossible or failed
    StatusCopyFailed = 2003, // the input could not be copied to the temporary folder
    StatusModifyPassword = 2004, // the presentation has a modify password
    StatusUnsupportedWindows = 2005,
    StatusNotOpened = 2006, // the presentation program did not open the copy
    StatusUnreadableInput = 3000, // neither a readable package nor a compound document
    StatusCompoundDocument = 3001, // already a compound document (D0 CF)
};

// Results of DeleteOutputFile.
enum DeleteStatus : std::int32_t {
    DeleteRemoved = 0,
    DeleteFolderKept = 1, // the file went, its generated folder could not
    DeleteFailed = 2,
    DeleteMissing = 3,
};

// Removes a conversion's generated output folder, with everything in it, when the
// conversion ends without a route reporting success.
struct OutputFolderGuard {
    OutputFolderGuard() = default;
    OutputFolderGuard(const OutputFolderGuard&) = delete;
    OutputFolderGuard& operator=(const OutputFolderGuard&) = delete;
    ~OutputFolderGuard();

    bool keep = false;
    std::wstring folder;
};

// The presentation program's version and build from the last successful query; 0 before
// any. Written by every query without a lock: concurrent conversions in one process see
// the most recent answer.
extern double DetectedVersion;
extern std::int32_t DetectedBuild;

} // namespace NsConverter
