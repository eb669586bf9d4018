// Extensions' native functions on a real page. A V8 extension declares them with
// `native function NAME();`, which only V8's extension mechanism understands; here each
// declaration becomes a plain function that hands its name and arguments to one DevTools
// binding (Runtime.addBinding), whose calls come back as Runtime.bindingCalled and go on to the
// extension's handler in the render process. The binding is asynchronous: the function returns
// undefined at once, and an exception the handler sets is thrown into the page later, in a task
// of its own.
#pragma once

#include <string>
#include <vector>

#include "engines/page_engine.h"

namespace cefcompat {

// The binding every native function calls.
extern const char kNativeBinding[];

// Runs at the start of every document, before the extensions: the function their native
// functions call, which encodes the arguments for the binding.
std::string NativeCallerScript();

// An extension's code with its native function declarations made callable on the page.
std::string PageScriptOf(const CExtensionSource& extension);

struct CNativeCall {
    std::wstring name;
    std::vector<CScriptValue> arguments;
};

// The binding's payload as the page sent it (untrusted): false when it is not a call.
bool ParseNativeCall(const std::string& payload, CNativeCall* call);

// Throws |message| into the page as an uncaught error.
std::string ThrowLaterScript(const std::wstring& message);

} // namespace cefcompat
