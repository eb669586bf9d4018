// Owners of COM resources: an interface reference, a BSTR, a VARIANT and the apartment of the
// calling thread. Each releases what it owns when it goes out of scope.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace StandIns {

template <class T>
class CComRef
{
public:
    CComRef() = default;
    CComRef(CComRef&& other) noexcept : m_pointer(other.m_pointer) { other.m_pointer = nullptr; }
    CComRef& operator=(CComRef&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_pointer = other.m_pointer;
            other.m_pointer = nullptr;
        }
        return *this;
    }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    ~CComRef() { Reset(); }

    // Takes over a reference that the caller already holds.
    static CComRef Adopt(T* pointer)
    {
        CComRef ref;
        ref.m_pointer = pointer;
        return ref;
    }

    // Adds a reference of its own.
    static CComRef Share(T* pointer)
    {
        if (pointer)
            pointer->AddRef();
        return Adopt(pointer);
    }

    CComRef Share() const { return Share(m_pointer); }

    T* Get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    // For out parameters: drops the current reference and hands out the slot.
    T** Receive()
    {
        Reset();
        return &m_pointer;
    }

    // Hands the reference to the caller.
    T* Detach()
    {
        T* pointer = m_pointer;
        m_pointer = nullptr;
        return pointer;
    }

    void Reset()
    {
        if (m_pointer) {
            T* pointer = m_pointer;
            m_pointer = nullptr;
            pointer->Release();
        }
    }

private:
    T* m_pointer = nullptr;
};

template <class TTarget, class TSource>
CComRef<TTarget> QueryInterfaceAs(TSource* source, REFIID iid, HRESULT* result = nullptr)
{
    CComRef<TTarget> target;
    HRESULT hr = source ? source->QueryInterface(iid, reinterpret_cast<void**>(target.Receive()))
                        : E_POINTER;
    if (result)
        *result = hr;
    return target;
}

class CBstr
{
public:
    CBstr() = default;
    explicit CBstr(const std::wstring& text)
        : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    CBstr(CBstr&& other) noexcept : m_text(other.m_text) { other.m_text = nullptr; }
    CBstr& operator=(CBstr&& other) noexcept
    {
        if (this != &other) {
            SysFreeString(m_text);
            m_text = other.m_text;
            other.m_text = nullptr;
        }
        return *this;
    }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    ~CBstr() { SysFreeString(m_text); }

    BSTR Get() const { return m_text; }
    BSTR* Receive()
    {
        SysFreeString(m_text);
        m_text = nullptr;
        return &m_text;
    }
    BSTR Detach()
    {
        BSTR text = m_text;
        m_text = nullptr;
        return text;
    }
    std::wstring Text() const { return m_text ? std::wstring(m_text, SysStringLen(m_text)) : std::wstring(); }

private:
    BSTR m_text = nullptr;
};

// Hands a copy of a text to a BSTR out parameter.
inline HRESULT CopyToBstr(const std::wstring& text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = CBstr(text).Detach();
    return *out ? S_OK : E_OUTOFMEMORY;
}

class CVariant
{
public:
    CVariant() { VariantInit(&m_value); }
    explicit CVariant(LONG value)
    {
        VariantInit(&m_value);
        m_value.vt = VT_I4;
        m_value.lVal = value;
    }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    ~CVariant() { VariantClear(&m_value); }

    VARIANT* Get() { return &m_value; }
    const VARIANT& Value() const { return m_value; }

private:
    VARIANT m_value;
};

// Joins the calling thread to a single-threaded apartment for the owner's lifetime.
class CComApartment
{
public:
    CComApartment() : m_result(CoInitialize(nullptr)) {}
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;
    ~CComApartment()
    {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

} // namespace StandIns
