#pragma once

// minizip file functions over bytes in memory, so that a package is read without a file.

#include <cstddef>
#include <cstdint>

#include <ioapi.h>

namespace NsFuzz {

class CMemoryZip {
public:
    CMemoryZip(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    CMemoryZip(const CMemoryZip&) = delete;
    CMemoryZip& operator=(const CMemoryZip&) = delete;

    // Valid while this object lives; the file name given to minizip is ignored.
    zlib_filefunc_def FileFunctions();

private:
    static voidpf ZCALLBACK Open(voidpf opaque, const char* name, int mode);
    static uLong ZCALLBACK Read(voidpf opaque, voidpf stream, void* buffer, uLong size);
    static uLong ZCALLBACK Write(voidpf opaque, voidpf stream, const void* buffer, uLong size);
    static long ZCALLBACK Tell(voidpf opaque, voidpf stream);
    static long ZCALLBACK Seek(voidpf opaque, voidpf stream, uLong offset, int origin);
    static int ZCALLBACK Close(voidpf opaque, voidpf stream);
    static int ZCALLBACK Error(voidpf opaque, voidpf stream);

    const uint8_t* m_data;
    size_t m_size;
    // Like a file position, it may lie beyond the end; reads there find nothing.
    uint64_t m_position = 0;
};

} // namespace NsFuzz
