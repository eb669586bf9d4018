#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZipEntry {
    std::string name;
    std::string content;
    bool stored = false; // deflated unless set
};

// Writes a zip package with these entries in this order.
void WriteZip(const std::wstring& path, const std::vector<ZipEntry>& entries);

// Makes the first entry of a zip declare another uncompressed size, in its local header and
// in the central directory alike, as a forged package would.
void ForgeDeclaredSize(std::string& zip, std::uint32_t size);
