// Keeps the server's interfaces registered with the RPC runtime for as long as it serves.
//
// Wine's COM ends an interface's RPC registration when the last stub of that interface in the
// process goes away, and waits there for the calls to that interface to finish. On a
// single-threaded apartment that release runs on the very thread those calls are queued for:
// a client's last release of, say, a presentation, meeting another client's call on one,
// stops the server for good (every client then waits forever). A stub of each interface that
// the server itself holds from the start of serving to its end means that no client's release
// is ever the last one.
#pragma once

#include "../common/ComOwners.h"

#include <vector>

namespace StandIns {

class CInterfaceKeeper {
public:
    // Keeps what it can: an interface that cannot be marshalled has no stubs to lose either.
    explicit CInterfaceKeeper(const std::vector<IID>& iids);
    CInterfaceKeeper(const CInterfaceKeeper&) = delete;
    CInterfaceKeeper& operator=(const CInterfaceKeeper&) = delete;
    ~CInterfaceKeeper();

private:
    std::vector<CComPtr<IStream>> m_references; // each holds one table-strong reference
};

} // namespace StandIns
