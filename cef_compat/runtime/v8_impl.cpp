#include "runtime/v8_impl.h"

#include <climits>
#include <cmath>

namespace cefcompat {
namespace {

// Contexts entered on the render thread, innermost last.
std::vector<CefRefPtr<CefV8Context>>& ContextStack()
{
    static std::vector<CefRefPtr<CefV8Context>> stack;
    return stack;
}

bool IsIdentifierStart(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' || c == L'$';
}

bool IsIdentifierPart(wchar_t c)
{
    return IsIdentifierStart(c) || (c >= L'0' && c <= L'9');
}

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// Members of one object, elements of one array.
constexpr size_t kMaxElements = 4096;

} // namespace

std::vector<std::wstring> NativeFunctionNames(const std::wstring& code)
{
    static const std::wstring kKeyword = L"native function";
    std::vector<std::wstring> names;
    for (size_t pos = code.find(kKeyword); pos != std::wstring::npos; pos = code.find(kKeyword, pos + 1)) {
        size_t i = pos + kKeyword.size();
        if (i >= code.size() || !IsSpace(code[i]))
            continue;
        while (i < code.size() && IsSpace(code[i]))
            ++i;
        if (i >= code.size() || !IsIdentifierStart(code[i]))
            continue;
        const size_t start = i;
        while (i < code.size() && IsIdentifierPart(code[i]))
            ++i;
        const std::wstring name = code.substr(start, i - start);
        while (i < code.size() && IsSpace(code[i]))
            ++i;
        if (i < code.size() && code[i] == L'(')
            names.push_back(name);
    }
    return names;
}

CefRefPtr<CefV8Value> CV8ValueImpl::FromScript(const CScriptValue& value, int depth)
{
    CefRefPtr<CV8ValueImpl> out = new CV8ValueImpl(value.kind);
    out->m_bool = value.boolValue;
    out->m_int = value.intValue;
    out->m_uint = value.uintValue;
    out->m_double = value.doubleValue;
    out->m_string = value.stringValue;
    if (depth < kMaxWireDepth) {
        for (const auto& member : value.members) {
            CefRefPtr<CefV8Value> child = FromScript(member.second, depth + 1);
            if (value.kind == Kind::kArray)
                out->m_elements.push_back(child);
            else
                out->m_members.emplace_back(member.first, child);
        }
    }
    return out.get();
}

CScriptValue CV8ValueImpl::ToScript(CefRefPtr<CefV8Value> value, int depth)
{
    CScriptValue out;
    auto* impl = dynamic_cast<CV8ValueImpl*>(value.get());
    if (!impl)
        return out;
    out.kind = impl->m_kind;
    out.boolValue = impl->m_bool;
    out.intValue = impl->m_int;
    out.uintValue = impl->m_uint;
    out.doubleValue = impl->m_double;
    out.stringValue = impl->m_string;
    if (depth < kMaxWireDepth) {
        for (const auto& member : impl->m_members) {
            out.members.emplace_back(member.first, ToScript(member.second, depth + 1));
        }
        for (const auto& element : impl->m_elements) {
            out.members.emplace_back(std::wstring(), ToScript(element, depth + 1));
        }
    }
    return out;
}

bool CV8ValueImpl::IsInt()
{
    return m_kind == Kind::kInt || (m_kind == Kind::kUInt && m_uint <= INT_MAX);
}

bool CV8ValueImpl::IsUInt()
{
    return m_kind == Kind::kUInt || (m_kind == Kind::kInt && m_int >= 0);
}

bool CV8ValueImpl::IsDouble()
{
    return m_kind == Kind::kDouble || m_kind == Kind::kInt || m_kind == Kind::kUInt;
}

bool CV8ValueImpl::IsSame(CefRefPtr<CefV8Value> that)
{
    return that.get() == static_cast<CefV8Value*>(this);
}

int32 CV8ValueImpl::GetIntValue()
{
    switch (m_kind) {
    case Kind::kInt: return m_int;
    case Kind::kUInt: return static_cast<int32>(m_uint);
    case Kind::kDouble:
        return std::isfinite(m_double) && m_double >= INT_MIN && m_double <= INT_MAX ? static_cast<int32>(m_double) : 0;
    default: return 0;
    }
}

uint32 CV8ValueImpl::GetUIntValue()
{
    switch (m_kind) {
    case Kind::kUInt: return m_uint;
    case Kind::kInt: return static_cast<uint32>(m_int);
    case Kind::kDouble:
        return std::isfinite(m_double) && m_double >= 0 && m_double <= UINT_MAX ? static_cast<uint32>(m_double) : 0;
    default: return 0;
    }
}

double CV8ValueImpl::GetDoubleValue()
{
    switch (m_kind) {
    case Kind::kDouble: return m_double;
    case Kind::kInt: return m_int;
    case Kind::kUInt: return m_uint;
    default: return 0;
    }
}

bool CV8ValueImpl::HasValue(const CefString& key)
{
    for (const auto& member : m_members) {
        if (member.first == key.ToWString())
            return true;
    }
    return false;
}

bool CV8ValueImpl::HasValue(int index)
{
    return index >= 0 && static_cast<size_t>(index) < m_elements.size();
}

CefRefPtr<CefV8Value> CV8ValueImpl::GetValue(const CefString& key)
{
    for (const auto& member : m_members) {
        if (member.first == key.ToWString())
            return member.second;
    }
    return nullptr;
}

CefRefPtr<CefV8Value> CV8ValueImpl::GetValue(int index)
{
    return HasValue(index) ? m_elements[static_cast<size_t>(index)] : nullptr;
}

bool CV8ValueImpl::SetValue(const CefString& key, CefRefPtr<CefV8Value> value, PropertyAttribute)
{
    if (!IsObject() || !value || value.get() == static_cast<CefV8Value*>(this))
        return false;
    for (auto& member : m_members) {
        if (member.first == key.ToWString()) {
            member.second = value;
            return true;
        }
    }
    if (m_members.size() >= kMaxElements)
        return false;
    m_members.emplace_back(key.ToWString(), value);
    return true;
}

bool CV8ValueImpl::SetValue(int index, CefRefPtr<CefV8Value> value)
{
    if (m_kind != Kind::kArray || index < 0 || static_cast<size_t>(index) >= kMaxElements || !value ||
        value.get() == static_cast<CefV8Value*>(this)) {
        return false;
    }
    if (static_cast<size_t>(index) >= m_elements.size()) {
        m_elements.resize(static_cast<size_t>(index) + 1, CefV8Value::CreateUndefined());
    }
    m_elements[static_cast<size_t>(index)] = value;
    return true;
}

bool CV8ValueImpl::GetKeys(std::vector<CefString>& keys)
{
    keys.clear();
    if (m_kind == Kind::kArray) {
        for (size_t i = 0; i < m_elements.size(); ++i)
            keys.emplace_back(std::to_wstring(i));
        return true;
    }
    for (const auto& member : m_members)
        keys.emplace_back(member.first);
    return IsObject();
}

CV8ContextImpl::CV8ContextImpl(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame)
    : m_browser(browser),
      m_frame(frame),
      m_global(CefV8Value::CreateObject(nullptr))
{
}

void CV8ContextImpl::Invalidate()
{
    m_valid = false;
    m_browser = nullptr;
    m_frame = nullptr;
}

bool CV8ContextImpl::Enter()
{
    if (!m_valid)
        return false;
    ContextStack().push_back(this);
    return true;
}

bool CV8ContextImpl::Exit()
{
    auto& stack = ContextStack();
    if (stack.empty() || stack.back().get() != static_cast<CefV8Context*>(this))
        return false;
    stack.pop_back();
    return true;
}

} // namespace cefcompat

using cefcompat::CV8ValueImpl;
using Kind = cefcompat::CScriptValue::Kind;

CefRefPtr<CefV8Context> CefV8Context::GetCurrentContext()
{
    auto& stack = cefcompat::ContextStack();
    return stack.empty() ? nullptr : stack.back();
}

CefRefPtr<CefV8Context> CefV8Context::GetEnteredContext()
{
    return GetCurrentContext();
}

bool CefV8Context::InContext()
{
    return !cefcompat::ContextStack().empty();
}

CefRefPtr<CefV8Value> CefV8Value::CreateUndefined()
{
    return new CV8ValueImpl(Kind::kUndefined);
}

CefRefPtr<CefV8Value> CefV8Value::CreateNull()
{
    return new CV8ValueImpl(Kind::kNull);
}

CefRefPtr<CefV8Value> CefV8Value::CreateBool(bool value)
{
    CefRefPtr<CV8ValueImpl> v = new CV8ValueImpl(Kind::kBool);
    v->m_bool = value;
    return v.get();
}

CefRefPtr<CefV8Value> CefV8Value::CreateInt(int32 value)
{
    CefRefPtr<CV8ValueImpl> v = new CV8ValueImpl(Kind::kInt);
    v->m_int = value;
    return v.get();
}

CefRefPtr<CefV8Value> CefV8Value::CreateUInt(uint32 value)
{
    CefRefPtr<CV8ValueImpl> v = new CV8ValueImpl(Kind::kUInt);
    v->m_uint = value;
    return v.get();
}

CefRefPtr<CefV8Value> CefV8Value::CreateDouble(double value)
{
    CefRefPtr<CV8ValueImpl> v = new CV8ValueImpl(Kind::kDouble);
    v->m_double = value;
    return v.get();
}

CefRefPtr<CefV8Value> CefV8Value::CreateString(const CefString& value)
{
    CefRefPtr<CV8ValueImpl> v = new CV8ValueImpl(Kind::kString);
    v->m_string = value.ToWString();
    return v.get();
}

CefRefPtr<CefV8Value> CefV8Value::CreateObject(CefRefPtr<CefV8Accessor> accessor)
{
    CefRefPtr<CV8ValueImpl> v = new CV8ValueImpl(Kind::kObject);
    v->m_accessor = accessor;
    return v.get();
}

CefRefPtr<CefV8Value> CefV8Value::CreateArray(int length)
{
    CefRefPtr<CV8ValueImpl> v = new CV8ValueImpl(Kind::kArray);
    if (length > 0 && static_cast<size_t>(length) <= cefcompat::kMaxElements) {
        v->m_elements.assign(static_cast<size_t>(length), CreateUndefined());
    }
    return v.get();
}
