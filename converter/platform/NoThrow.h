#pragma once

#include <utility>

namespace NsPlatform {

// Exported members answer every failure through their result, out of memory included:
// each module links its own copy of the C++ runtime, so an exception cannot be relied on to
// unwind from the library into its caller.
template <typename Result, typename Body>
Result NoThrow(Body&& body, Result failure = Result()) noexcept
{
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

} // namespace NsPlatform
