// The stand-ins' COM helpers: the shared owners (an interface reference, a BSTR, the calling
// thread's apartment), a BSTR out parameter filled from a text, and a VARIANT that clears itself.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "Win32ComOwners.h"

#include <string>
#include <utility>

namespace StandIns {

using NsWin32::CBstr;
using NsWin32::CComApartment;
using NsWin32::CComPtr;

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
