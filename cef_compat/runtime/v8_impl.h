// Script values and contexts of the render process. The scripted page runs no script of its
// own: values exist to carry native function arguments and results, and a context exists per
// loaded document. Render thread only.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "include/cef_v8.h"
#include "runtime/script_value.h"

namespace cefcompat {

class CV8ValueImpl : public CefV8Value {
public:
    using Kind = CScriptValue::Kind;
    explicit CV8ValueImpl(Kind kind) : m_kind(kind) {}

    static CefRefPtr<CefV8Value> FromScript(const CScriptValue& value, int depth = 0);
    // A null value stands for undefined.
    static CScriptValue ToScript(CefRefPtr<CefV8Value> value, int depth = 0);
    // "s:text", "i:3", ... as CScriptValue::ToText writes them.
    static std::string ToText(CefRefPtr<CefV8Value> value) { return ToScript(value).ToText(); }

    bool IsValid() OVERRIDE { return true; }
    bool IsUndefined() OVERRIDE { return m_kind == Kind::kUndefined; }
    bool IsNull() OVERRIDE { return m_kind == Kind::kNull; }
    bool IsBool() OVERRIDE { return m_kind == Kind::kBool; }
    bool IsInt() OVERRIDE;
    bool IsUInt() OVERRIDE;
    bool IsDouble() OVERRIDE;
    bool IsDate() OVERRIDE { return false; }
    bool IsString() OVERRIDE { return m_kind == Kind::kString; }
    bool IsObject() OVERRIDE { return m_kind == Kind::kObject || m_kind == Kind::kArray; }
    bool IsArray() OVERRIDE { return m_kind == Kind::kArray; }
    bool IsFunction() OVERRIDE { return false; }
    bool IsSame(CefRefPtr<CefV8Value> that) OVERRIDE;
    bool GetBoolValue() OVERRIDE { return m_kind == Kind::kBool && m_bool; }
    int32 GetIntValue() OVERRIDE;
    uint32 GetUIntValue() OVERRIDE;
    double GetDoubleValue() OVERRIDE;
    CefString GetStringValue() OVERRIDE { return m_kind == Kind::kString ? m_string : std::wstring(); }
    bool HasValue(const CefString& key) OVERRIDE;
    bool HasValue(int index) OVERRIDE;
    CefRefPtr<CefV8Value> GetValue(const CefString& key) OVERRIDE;
    CefRefPtr<CefV8Value> GetValue(int index) OVERRIDE;
    bool SetValue(const CefString& key, CefRefPtr<CefV8Value> value, PropertyAttribute attribute) OVERRIDE;
    bool SetValue(int index, CefRefPtr<CefV8Value> value) OVERRIDE;
    bool GetKeys(std::vector<CefString>& keys) OVERRIDE;
    int GetArrayLength() OVERRIDE { return m_kind == Kind::kArray ? static_cast<int>(m_elements.size()) : 0; }

    Kind m_kind;
    bool m_bool = false;
    int32 m_int = 0;
    uint32 m_uint = 0;
    double m_double = 0;
    std::wstring m_string;
    std::vector<std::pair<std::wstring, CefRefPtr<CefV8Value>>> m_members;
    std::vector<CefRefPtr<CefV8Value>> m_elements;
    CefRefPtr<CefV8Accessor> m_accessor;

private:
    IMPLEMENT_REFCOUNTING(CV8ValueImpl)
};

class CV8ContextImpl : public CefV8Context {
public:
    CV8ContextImpl(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame);
    // The document is gone.
    void Invalidate();

    bool IsValid() OVERRIDE { return m_valid; }
    CefRefPtr<CefBrowser> GetBrowser() OVERRIDE { return m_valid ? m_browser : nullptr; }
    CefRefPtr<CefFrame> GetFrame() OVERRIDE { return m_valid ? m_frame : nullptr; }
    CefRefPtr<CefV8Value> GetGlobal() OVERRIDE { return m_global; }
    bool Enter() OVERRIDE;
    bool Exit() OVERRIDE;
    bool IsSame(CefRefPtr<CefV8Context> that) OVERRIDE { return that.get() == static_cast<CefV8Context*>(this); }

private:
    bool m_valid = true;
    CefRefPtr<CefBrowser> m_browser;
    CefRefPtr<CefFrame> m_frame;
    CefRefPtr<CefV8Value> m_global;
    IMPLEMENT_REFCOUNTING(CV8ContextImpl)
};

// The names declared with "native function NAME(" in an extension's script, in order.
std::vector<std::wstring> NativeFunctionNames(const std::wstring& code);

} // namespace cefcompat
