// The smallest valid compound document (version 3, 512-byte sectors): a header, one FAT
// sector and one directory sector that holds only the root storage.
#pragma once

#include <windows.h>

#include <vector>

namespace StandIns {

constexpr size_t kCompoundSectorBytes = 512;

std::vector<BYTE> BuildEmptyCompoundFile();

} // namespace StandIns
