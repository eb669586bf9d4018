#pragma once

// Deadlines of the tests on a slow or busy machine. Every generous wait is written for an
// ordinary machine and multiplied by PH_TEST_TIME_SCALE (a whole number from 1 to 99; 1 when
// unset or not a number), which `make test-under-load` raises. A deadline only bounds a wait
// for something that is signalled; stretching it never changes what a test asserts.

#include <windows.h>

#include <cstdlib>

namespace NsTestSupport {

inline DWORD TimeScale()
{
    const char* text = std::getenv("PH_TEST_TIME_SCALE");
    const long scale = text ? std::strtol(text, nullptr, 10) : 1;
    return scale >= 1 && scale <= 99 ? static_cast<DWORD>(scale) : 1;
}

inline DWORD ScaledMs(DWORD milliseconds)
{
    return milliseconds == INFINITE ? INFINITE : milliseconds * TimeScale();
}

} // namespace NsTestSupport
