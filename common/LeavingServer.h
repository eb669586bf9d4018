#pragma once

// An out-of-process automation server may be leaving just as it is asked: its last client let
// go, or its user closed it. Where COM does not start a new instance by itself then, the
// activation fails with one of these codes, and one more attempt reaches a new instance.
// RPC_S_UNKNOWN_IF is the call that arrived after the leaving server had revoked its class.
// Wine reports a class object that it obtained from the leaving server but could no longer reach
// (RPC_S_CALL_FAILED_DNE underneath) as REGDB_E_CLASSNOTREG; a class that is truly not
// registered only costs the one quick attempt more.

#include <objbase.h>
#include <winerror.h>

namespace NsWin32 {

inline bool ReachedLeavingServer(HRESULT result) noexcept
{
    return result == CO_E_SERVER_STOPPING || result == RPC_E_DISCONNECTED ||
           result == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || result == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) ||
           result == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE) || result == HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF) ||
           result == REGDB_E_CLASSNOTREG;
}

} // namespace NsWin32
