// Message types on the private pipe. Every payload starts with its type (u32); the fields
// that follow are listed beside each type, in order.
#pragma once

#include <cstdint>

namespace cefcompat {

enum class CIpcType : uint32_t {
    // Browser process -> render process.
    kHello = 1, // extra_info list
    kBrowserCreated, // browser id (i32), is popup (bool)
    kBrowserDestroyed, // browser id
    kFrameLoaded, // browser id, frame id (i64), is main (bool), name, url, can go back,
    // can go forward (bool)
    kInvokeNative, // call id (u32), browser id, frame id (i64), function name, argument
    // count (u32), script values
    kCrash, // nothing
    // Both directions.
    kProcessMessage, // browser id, process message
    // Render process -> browser process.
    kJournal, // journal line (text)
    kNativeResult, // call id, outcome (u8), exception text, return value (script value)
    kBrowserCall, // browser id, frame id (i64), CBrowserCallVerb (u32), text, line (i32)
    kExtensions, // after OnWebKitInitialized: count (u32), then name and code of each
};

// Browser methods that page script's side (the render process) asks the browser process
// to carry out.
enum class CBrowserCallVerb : uint32_t {
    kGoBack = 1,
    kGoForward,
    kReload,
    kReloadIgnoreCache,
    kStopLoad,
    kLoadURL,
    kExecuteJavaScript,
};

// How a native function call ended in the render process.
enum class CNativeOutcome : uint8_t {
    kReturned = 0, // handled; the return value follows
    kThrew, // handled; the exception text is to be thrown into script
    kNotHandled, // the handler returned false
    kNoSuchFunction, // no registered extension declares the function
    kNoContext, // the frame has no script context (nothing loaded yet)
};

} // namespace cefcompat
