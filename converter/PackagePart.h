#pragma once

// Reading one part out of a zip package. Plain C++ over minizip, free of Windows, so that it
// builds and can be exercised natively on any platform; the caller supplies the file
// functions that open the package.

#include <cstdint>
#include <string>

#include <unzip.h>

namespace NsConverter {

// The largest part accepted. Presentation parts of real decks stay far below this; a larger
// declared size is refused before anything is allocated.
constexpr std::uint64_t kMaxPackagePartSize = 4 * 1024 * 1024;

// Reads the part named `partName` (letter case of ASCII letters ignored) from the package at
// `packagePath` into `content`. False for a package that cannot be opened or parsed, a
// missing part, a part larger than kMaxPackagePartSize, and a part whose data does not
// match its declared size and checksum. Never throws.
bool ReadPackagePart(zlib_filefunc_def files, const std::string& packagePath, const std::string& partName,
                     std::string& content) noexcept;

} // namespace NsConverter
