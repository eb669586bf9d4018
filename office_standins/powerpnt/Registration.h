// Machine-wide registration of the presentation-program stand-in: its class under the
// program's ProgID, its local server, and the type library through which calls are marshalled.
#pragma once

#include <string>

namespace StandIns {

bool RegisterApplicationServer(const std::wstring& serverPath);
// Leaves nothing behind; succeeds also when nothing was registered.
bool UnregisterApplicationServer();

} // namespace StandIns
