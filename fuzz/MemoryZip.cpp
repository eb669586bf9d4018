#include "MemoryZip.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace NsFuzz {

namespace {

CMemoryZip& Zip(voidpf opaque)
{
    return *static_cast<CMemoryZip*>(opaque);
}

} // namespace

zlib_filefunc_def CMemoryZip::FileFunctions()
{
    return zlib_filefunc_def{Open, Read, Write, Tell, Seek, Close, Error, this};
}

voidpf ZCALLBACK CMemoryZip::Open(voidpf opaque, const char* /*name*/, int mode)
{
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        return nullptr;
    Zip(opaque).m_position = 0;
    return opaque;
}

uLong ZCALLBACK CMemoryZip::Read(voidpf opaque, voidpf /*stream*/, void* buffer, uLong size)
{
    CMemoryZip& zip = Zip(opaque);
    if (zip.m_position >= zip.m_size)
        return 0;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(size, zip.m_size - zip.m_position));
    std::memcpy(buffer, zip.m_data + zip.m_position, count);
    zip.m_position += count;
    return static_cast<uLong>(count);
}

uLong ZCALLBACK CMemoryZip::Write(voidpf /*opaque*/, voidpf /*stream*/, const void* /*buffer*/, uLong /*size*/)
{
    return 0;
}

long ZCALLBACK CMemoryZip::Tell(voidpf opaque, voidpf /*stream*/)
{
    return static_cast<long>(std::min<uint64_t>(Zip(opaque).m_position, LONG_MAX));
}

long ZCALLBACK CMemoryZip::Seek(voidpf opaque, voidpf /*stream*/, uLong offset, int origin)
{
    CMemoryZip& zip = Zip(opaque);
    uint64_t base = 0;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = zip.m_position; break;
    case ZLIB_FILEFUNC_SEEK_END: base = zip.m_size; break;
    default: return -1;
    }
    if (offset > UINT64_MAX - base)
        return -1;
    zip.m_position = base + offset;
    return 0;
}

int ZCALLBACK CMemoryZip::Close(voidpf /*opaque*/, voidpf /*stream*/)
{
    return 0;
}

int ZCALLBACK CMemoryZip::Error(voidpf /*opaque*/, voidpf /*stream*/)
{
    return 0;
}

} // namespace NsFuzz
