#include "client_app.h"

#include "include/cef_v8.h"

namespace {

const char kExtensionCode[] = "var test;if (!test) test = {};(function() {"
                              " test.notify = function(text) { native function notify(); return notify(text); };"
                              " test.echo = function(value) { native function echo(); return echo(value); };"
                              "})();";

// notify(text) sends "TestNotify" with the text to the browser process; echo(value) returns
// its argument.
class CBridgeHandler : public CefV8Handler {
public:
    bool Execute(const CefString& name, CefRefPtr<CefV8Value>, const CefV8ValueList& arguments,
                 CefRefPtr<CefV8Value>& retval, CefString& exception) override
    {
        if (name == "echo") {
            if (arguments.empty())
                exception = "echo: need a value";
            else
                retval = arguments[0];
            return true;
        }
        if (name != "notify")
            return false;
        if (arguments.size() != 1) {
            exception = "notify: need only one parameter";
            return true;
        }
        if (!arguments[0]->IsString()) {
            exception = "notify: need string param";
            return true;
        }
        CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("TestNotify");
        message->GetArgumentList()->SetString(0, arguments[0]->GetStringValue());
        CefV8Context::GetCurrentContext()->GetBrowser()->SendProcessMessage(PID_BROWSER, message);
        return true;
    }

private:
    IMPLEMENT_REFCOUNTING(CBridgeHandler)
};

} // namespace

void CClientApp::OnContextInitialized()
{
    if (m_onContextReady)
        m_onContextReady();
}

void CClientApp::OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line)
{
    command_line->AppendSwitchWithValue("test-marker", "42");
}

void CClientApp::OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info)
{
    extra_info->SetString(0, "hello-renderer");
}

void CClientApp::OnRenderThreadCreated(CefRefPtr<CefListValue> extra_info)
{
    m_extraInfo = extra_info->GetString(0).ToWString();
}

void CClientApp::OnWebKitInitialized()
{
    CefRegisterExtension("test/bridge", kExtensionCode, new CBridgeHandler());
}

bool CClientApp::OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId,
                                          CefRefPtr<CefProcessMessage> message)
{
    if (message->GetName() != "Ping")
        return false;
    CefRefPtr<CefProcessMessage> pong = CefProcessMessage::Create("Pong");
    pong->GetArgumentList()->SetString(0, message->GetArgumentList()->GetString(0));
    pong->GetArgumentList()->SetString(1, m_extraInfo);
    browser->SendProcessMessage(PID_BROWSER, pong);
    return true;
}
