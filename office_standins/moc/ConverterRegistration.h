// The registry entries through which callers find the compatibility converter: the server key
// of the converter's class, whose folder holds moc.exe, and the compatibility pack's uninstall
// registration. Both machine-wide.
#pragma once

#include <string>

namespace StandIns {

bool RegisterConverter(const std::wstring& converterPath);
// Succeeds also when nothing was registered.
bool UnregisterConverter();

} // namespace StandIns
