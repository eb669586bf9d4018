#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <comdef.h>

#include "Win32ComOwners.h"

#include <string>
#include <utility>

namespace NsConverter {

using NsWin32::CBstr;
using NsWin32::CComApartment;
using NsWin32::CComPtr;

// Raises the COM error for a failed call on `object` through the interface `iid`, with the
// object's error information when it supports it for that interface.
[[noreturn]] void RaiseComError(HRESULT result, IUnknown* object, REFIID iid);

// Passes success codes through, S_FALSE included; raises for failures.
inline HRESULT CheckComResult(HRESULT result, IUnknown* object, REFIID iid)
{
    if (FAILED(result))
        RaiseComError(result, object, iid);
    return result;
}

// Runs a call whose failure must not change an outcome that is already settled, such as
// tidying up the presentation program after the output file is complete.
template <typename Body>
void IgnoreComError(Body&& body)
{
    try {
        body();
    } catch (const _com_error&) {
    }
}

} // namespace NsConverter
