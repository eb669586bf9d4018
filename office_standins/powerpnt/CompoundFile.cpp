#include "CompoundFile.h"

#include <cstring>
#include <stdexcept>

namespace StandIns {

namespace {

constexpr DWORD kFreeSector = 0xFFFFFFFF;
constexpr DWORD kEndOfChain = 0xFFFFFFFE;
constexpr DWORD kFatSector = 0xFFFFFFFD;
constexpr DWORD kNoStream = 0xFFFFFFFF;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kDirectoryEntryBytes = 128;

// File layout: header, then sector 0 (FAT), then sector 1 (directory).
constexpr DWORD kFatSectorIndex = 0;
constexpr DWORD kDirectorySectorIndex = 1;

class CByteWriter {
public:
    CByteWriter(std::vector<BYTE>& bytes, size_t offset) : m_bytes(bytes), m_offset(offset) {}
    void Byte(BYTE value) { Put(&value, sizeof(value)); }
    void Word(WORD value) { Put(&value, sizeof(value)); }
    void Dword(DWORD value) { Put(&value, sizeof(value)); }
    void Bytes(const void* data, size_t size) { Put(data, size); }
    void Skip(size_t size) { m_offset += size; }

private:
    // Little-endian, as the format and the machine both are.
    void Put(const void* data, size_t size)
    {
        if (m_offset + size > m_bytes.size())
            throw std::out_of_range("compound file layout");
        std::memcpy(m_bytes.data() + m_offset, data, size);
        m_offset += size;
    }

    std::vector<BYTE>& m_bytes;
    size_t m_offset;
};

void WriteHeader(std::vector<BYTE>& file)
{
    static const BYTE kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    CByteWriter header(file, 0);
    header.Bytes(kSignature, sizeof(kSignature));
    header.Skip(16); // class id
    header.Word(0x003E); // minor version
    header.Word(0x0003); // major version: 512-byte sectors
    header.Word(0xFFFE); // byte order mark
    header.Word(9); // sector size 2^9
    header.Word(6); // mini sector size 2^6
    header.Skip(6); // reserved
    header.Dword(0); // directory sectors: always 0 in version 3
    header.Dword(1); // FAT sectors
    header.Dword(kDirectorySectorIndex);
    header.Dword(0); // transaction signature
    header.Dword(0x1000); // mini stream cut-off
    header.Dword(kEndOfChain); // first mini FAT sector: none
    header.Dword(0); // mini FAT sectors
    header.Dword(kEndOfChain); // first DIFAT sector: none
    header.Dword(0); // DIFAT sectors
    header.Dword(kFatSectorIndex);
    for (size_t entry = 1; entry < kHeaderDifatEntries; ++entry)
        header.Dword(kFreeSector);
}

void WriteFat(std::vector<BYTE>& file)
{
    CByteWriter fat(file, kCompoundSectorBytes * (1 + kFatSectorIndex));
    fat.Dword(kFatSector); // sector 0 holds the FAT itself
    fat.Dword(kEndOfChain); // sector 1, the directory, is a chain of one
    for (size_t entry = 2; entry < kCompoundSectorBytes / sizeof(DWORD); ++entry)
        fat.Dword(kFreeSector);
}

void WriteDirectory(std::vector<BYTE>& file)
{
    const size_t sectorStart = kCompoundSectorBytes * (1 + kDirectorySectorIndex);
    static const wchar_t kRootName[] = L"Root Entry";
    CByteWriter root(file, sectorStart);
    root.Bytes(kRootName, sizeof(kRootName));
    root.Skip(64 - sizeof(kRootName));
    root.Word(sizeof(kRootName)); // name length in bytes with its NUL
    root.Byte(5); // object type: root storage
    root.Byte(1); // colour: black
    root.Dword(kNoStream); // left sibling
    root.Dword(kNoStream); // right sibling
    root.Dword(kNoStream); // child: the storage is empty
    root.Skip(16 + 4 + 8 + 8); // class id, state bits, creation and modification times
    root.Dword(kEndOfChain); // no mini stream
    root.Dword(0); // stream size, low and high
    root.Dword(0);

    // The other three entries of the sector are free: zero, with no siblings and no child.
    for (size_t entry = 1; entry < kCompoundSectorBytes / kDirectoryEntryBytes; ++entry) {
        CByteWriter unused(file, sectorStart + entry * kDirectoryEntryBytes + 68);
        unused.Dword(kNoStream);
        unused.Dword(kNoStream);
        unused.Dword(kNoStream);
    }
}

} // namespace

std::vector<BYTE> BuildEmptyCompoundFile()
{
    std::vector<BYTE> file(kCompoundSectorBytes * 3, 0);
    WriteHeader(file);
    WriteFat(file);
    WriteDirectory(file);
    return file;
}

} // namespace StandIns
