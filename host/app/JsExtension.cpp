#include "JsExtension.h"

#include "include/cef_process_message.h"
#include "include/cef_v8.h"

const wchar_t g_jsDispatchMessageName[] = L"JsExtHandler";
const wchar_t g_addinTraceMessageName[] = L"JsExtHandlerAddinTrace";

namespace {

const wchar_t kExtensionName[] = L"addin/mevora";

// Pages may already have a brelvo or brelvo.Mevora object of their own: both are kept, only
// the two functions are (re)defined. Each passes exactly one argument to its native function.
const wchar_t kExtensionScript[] =
    L"var brelvo;if (!brelvo)\tbrelvo = {};if (!brelvo.Mevora)\tbrelvo.Mevora = {};"
    L"(\tfunction()\t{"
    L"\t\tbrelvo.Mevora.dispatchEvent = function(evtStr)\t\t\t{"
    L"\t\t\t\tnative function dispatchEvent();\t\t\t\treturn dispatchEvent(evtStr);\t\t\t};"
    L"\t\tbrelvo.Mevora.addinTrace = function(evtStr)\t\t\t{"
    L"\t\t\t\tnative function addinTrace();\t\t\t\treturn addinTrace(evtStr);\t\t\t};"
    L"\t})();;";

struct NativeFunction {
    const wchar_t* name;
    const wchar_t* messageName;
    const wchar_t* argumentCountError;
    const wchar_t* argumentTypeError;
};

const NativeFunction kNativeFunctions[] = {
    {L"dispatchEvent", g_jsDispatchMessageName, L"Dispatch event : need only one parameter",
     L"Dispatch event : need string param"},
    {L"addinTrace", g_addinTraceMessageName, L"Dispatch addinTrace : need only one parameter",
     L"Dispatch addinTrace : need string param"},
};

const NativeFunction* FindNativeFunction(const CefString& name)
{
    for (const NativeFunction& function : kNativeFunctions) {
        if (name == function.name)
            return &function;
    }
    return nullptr;
}

// The browser of the page whose script is calling; null only outside a script call.
CefRefPtr<CefBrowser> CurrentBrowser()
{
    CefRefPtr<CefV8Context> context = CefV8Context::GetCurrentContext();
    return context ? context->GetBrowser() : nullptr;
}

class JsExtensionHandler : public CefV8Handler {
public:
    bool Execute(const CefString& name, CefRefPtr<CefV8Value> /*object*/, const CefV8ValueList& arguments,
                 CefRefPtr<CefV8Value>& /*retval*/, CefString& exception) override
    {
        const NativeFunction* function = FindNativeFunction(name);
        if (!function)
            return false;
        if (arguments.size() != 1) {
            exception = function->argumentCountError;
            return true;
        }
        if (!arguments[0]->IsString()) {
            exception = function->argumentTypeError;
            return true;
        }

        CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(function->messageName);
        message->GetArgumentList()->SetString(0, arguments[0]->GetStringValue());
        // Asynchronous: script goes on at once and learns nothing of the delivery.
        if (CefRefPtr<CefBrowser> browser = CurrentBrowser())
            browser->SendProcessMessage(PID_BROWSER, message);
        return true;
    }

private:
    IMPLEMENT_REFCOUNTING(JsExtensionHandler)
};

} // namespace

void RegisterPageScriptExtension()
{
    CefRegisterExtension(kExtensionName, kExtensionScript, new JsExtensionHandler);
}
