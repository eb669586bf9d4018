// DCHECK as CEF's base library has it: on in debug builds and wherever DCHECK_ALWAYS_ON is
// defined (our test builds), a no-op otherwise. A failed check writes the file, line and
// condition to stderr and the debugger, then ends the process on the spot (exit code
// STATUS_ASSERTION_FAILURE), so no code runs on after a broken rule.
#pragma once

#include <windows.h>

#include <cstdio>

#if defined(NDEBUG) && !defined(DCHECK_ALWAYS_ON)
#define DCHECK_IS_ON() 0
#else
#define DCHECK_IS_ON() 1
#endif

namespace cef_logging {

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

} // namespace cef_logging

#if DCHECK_IS_ON()
#define DCHECK(condition)                                                                                              \
    ((condition) ? static_cast<void>(0) : ::cef_logging::CheckFailed(__FILE__, __LINE__, #condition))
#else
#define DCHECK(condition) static_cast<void>(sizeof(!(condition)))
#endif
