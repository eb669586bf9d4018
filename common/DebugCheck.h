#pragma once

// A broken rule of the code itself (a call on the wrong thread, an owner released on another
// thread than took it) ends a debug or test build on the spot: the file, line and condition go
// to stderr and the debugger, then the process ends with STATUS_ASSERTION_FAILURE, so no code
// runs on after it and a test sees it. The build defines DCHECK_ALWAYS_ON in every
// configuration but Release; a release build checks nothing. cef_compat's DCHECK is this one.

#include <windows.h>

#include <cstdio>

#if defined(NDEBUG) && !defined(DCHECK_ALWAYS_ON)
#define DEBUG_CHECK_IS_ON() 0
#else
#define DEBUG_CHECK_IS_ON() 1
#endif

namespace NsDebug {

[[noreturn]] inline void CheckFailed(const char* file, int line, const char* condition)
{
    char text[1024];
    std::snprintf(text, sizeof(text), "%s(%d): Check failed: %s\n", file, line, condition);
    std::fputs(text, stderr);
    std::fflush(stderr);
    ::OutputDebugStringA(text);
    const UINT kAssertionFailure = 0xC0000420;
    ::TerminateProcess(::GetCurrentProcess(), kAssertionFailure);
    ::ExitProcess(kAssertionFailure);
}

} // namespace NsDebug

#if DEBUG_CHECK_IS_ON()
#define DEBUG_CHECK(condition)                                                                                         \
    ((condition) ? static_cast<void>(0) : ::NsDebug::CheckFailed(__FILE__, __LINE__, #condition))
#else
#define DEBUG_CHECK(condition) static_cast<void>(sizeof(!(condition)))
#endif
