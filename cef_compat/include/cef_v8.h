// Page script values, contexts and native functions of extensions (render process only).
#pragma once

#include <vector>

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"

class CefV8Value;
typedef std::vector<CefRefPtr<CefV8Value>> CefV8ValueList;

// The script context of one frame. Used on the render thread.
class CefV8Context : public virtual CefBase {
public:
    // The context whose script is running now (inside a native function call); null outside.
    static CefRefPtr<CefV8Context> GetCurrentContext();
    static CefRefPtr<CefV8Context> GetEnteredContext();
    static bool InContext();

    virtual bool IsValid() = 0;
    virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
    virtual CefRefPtr<CefFrame> GetFrame() = 0;
    virtual CefRefPtr<CefV8Value> GetGlobal() = 0;
    virtual bool Enter() = 0;
    virtual bool Exit() = 0;
    virtual bool IsSame(CefRefPtr<CefV8Context> that) = 0;
};

// Implements the native functions that an extension's script declares with
// "native function NAME();". Called on the render thread.
class CefV8Handler : public virtual CefBase {
public:
    // Return true when |name| was handled. A non-empty |exception| is then thrown into script;
    // otherwise |retval| (undefined when left null) is the call's result.
    virtual bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
                         CefRefPtr<CefV8Value>& retval, CefString& exception) = 0;
};

class CefV8Accessor : public virtual CefBase {
public:
    virtual bool Get(const CefString& name, const CefRefPtr<CefV8Value> object, CefRefPtr<CefV8Value>& retval,
                     CefString& exception) = 0;
    virtual bool Set(const CefString& name, const CefRefPtr<CefV8Value> object, const CefRefPtr<CefV8Value> value,
                     CefString& exception) = 0;
};

class CefV8Exception : public virtual CefBase {
public:
    virtual CefString GetMessage() = 0;
    virtual CefString GetSourceLine() = 0;
    virtual CefString GetScriptResourceName() = 0;
    virtual int GetLineNumber() = 0;
};

class CefV8StackTrace : public virtual CefBase {
public:
    virtual bool IsValid() = 0;
    virtual int GetFrameCount() = 0;
};

// A script value: undefined, null, bool, int, uint, double, string, object or array.
class CefV8Value : public virtual CefBase {
public:
    typedef cef_v8_propertyattribute_t PropertyAttribute;

    static CefRefPtr<CefV8Value> CreateUndefined();
    static CefRefPtr<CefV8Value> CreateNull();
    static CefRefPtr<CefV8Value> CreateBool(bool value);
    static CefRefPtr<CefV8Value> CreateInt(int32 value);
    static CefRefPtr<CefV8Value> CreateUInt(uint32 value);
    static CefRefPtr<CefV8Value> CreateDouble(double value);
    static CefRefPtr<CefV8Value> CreateString(const CefString& value);
    static CefRefPtr<CefV8Value> CreateObject(CefRefPtr<CefV8Accessor> accessor);
    static CefRefPtr<CefV8Value> CreateArray(int length);

    virtual bool IsValid() = 0;
    virtual bool IsUndefined() = 0;
    virtual bool IsNull() = 0;
    virtual bool IsBool() = 0;
    virtual bool IsInt() = 0;
    virtual bool IsUInt() = 0;
    virtual bool IsDouble() = 0;
    virtual bool IsDate() = 0;
    virtual bool IsString() = 0;
    virtual bool IsObject() = 0;
    virtual bool IsArray() = 0;
    virtual bool IsFunction() = 0;
    virtual bool IsSame(CefRefPtr<CefV8Value> that) = 0;
    virtual bool GetBoolValue() = 0;
    virtual int32 GetIntValue() = 0;
    virtual uint32 GetUIntValue() = 0;
    virtual double GetDoubleValue() = 0;
    virtual CefString GetStringValue() = 0;

    // Objects and arrays.
    virtual bool HasValue(const CefString& key) = 0;
    virtual bool HasValue(int index) = 0;
    virtual CefRefPtr<CefV8Value> GetValue(const CefString& key) = 0;
    virtual CefRefPtr<CefV8Value> GetValue(int index) = 0;
    virtual bool SetValue(const CefString& key, CefRefPtr<CefV8Value> value, PropertyAttribute attribute) = 0;
    virtual bool SetValue(int index, CefRefPtr<CefV8Value> value) = 0;
    virtual bool GetKeys(std::vector<CefString>& keys) = 0;
    virtual int GetArrayLength() = 0;
};

// Registers an extension in this render process (call from OnWebKitInitialized). Its script
// declares native functions with "native function NAME();"; calls to them reach |handler|.
bool CefRegisterExtension(const CefString& extension_name, const CefString& javascript_code,
                          CefRefPtr<CefV8Handler> handler);
