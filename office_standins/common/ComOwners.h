// Owners of COM resources: an interface reference, a BSTR, a VARIANT and the apartment of the
// calling thread. Each releases what it owns when it goes out of scope.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "Win32ComOwners.h"

#include <string>
#include <utility>

namespace StandIns {

template <class T>
using CComRef = NsWin32::CComPtr<T>;
using NsWin32::CBstr;
using NsWin32::CComApartment;

template <class TTarget, class TSource>
CComRef<TTarget> QueryInterfaceAs(TSource* source, REFIID iid, HRESULT* result = nullptr)
{
    CComRef<TTarget> target;
    HRESULT hr = source ? source->QueryInterface(iid, reinterpret_cast<void**>(target.Receive())) : E_POINTER;
    if (result)
        *result = hr;
    return target;
}

// Hands a copy of a text to a BSTR out parameter.
inline HRESULT CopyToBstr(const std::wstring& text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = CBstr(text).Detach();
    return *out ? S_OK : E_OUTOFMEMORY;
}

class CVariant {
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

} // namespace StandIns
