#include "runtime/wire.h"

#include <cstring>

namespace cefcompat {

void CWireWriter::U32(uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        U8(static_cast<uint8_t>(value >> (8 * i)));
}

void CWireWriter::I64(int64_t value)
{
    const uint64_t v = static_cast<uint64_t>(value);
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
}

void CWireWriter::F64(double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    I64(static_cast<int64_t>(bits));
}

void CWireWriter::Text(const std::wstring& text)
{
    U32(static_cast<uint32_t>(text.size()));
    for (wchar_t c : text) {
        U8(static_cast<uint8_t>(c & 0xFF));
        U8(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
}

bool CWireReader::Take(void* out, size_t size)
{
    if (size > m_bytes.size() - m_pos)
        return false;
    std::memcpy(out, m_bytes.data() + m_pos, size);
    m_pos += size;
    return true;
}

bool CWireReader::U8(uint8_t* value)
{
    return Take(value, 1);
}

bool CWireReader::U32(uint32_t* value)
{
    uint8_t b[4];
    if (!Take(b, sizeof(b)))
        return false;
    *value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
             (static_cast<uint32_t>(b[3]) << 24);
    return true;
}

bool CWireReader::I32(int32_t* value)
{
    uint32_t v = 0;
    if (!U32(&v))
        return false;
    *value = static_cast<int32_t>(v);
    return true;
}

bool CWireReader::I64(int64_t* value)
{
    uint32_t lo = 0, hi = 0;
    if (!U32(&lo) || !U32(&hi))
        return false;
    *value = static_cast<int64_t>((static_cast<uint64_t>(hi) << 32) | lo);
    return true;
}

bool CWireReader::F64(double* value)
{
    int64_t bits = 0;
    if (!I64(&bits))
        return false;
    std::memcpy(value, &bits, sizeof(*value));
    return true;
}

bool CWireReader::Bool(bool* value)
{
    uint8_t v = 0;
    if (!U8(&v) || v > 1)
        return false;
    *value = v == 1;
    return true;
}

bool CWireReader::Text(std::wstring* text)
{
    uint32_t units = 0;
    if (!U32(&units))
        return false;
    // Checked against what is left before anything is allocated.
    if (units > (m_bytes.size() - m_pos) / 2)
        return false;
    text->resize(units);
    for (uint32_t i = 0; i < units; ++i) {
        const uint8_t lo = static_cast<uint8_t>(m_bytes[m_pos++]);
        const uint8_t hi = static_cast<uint8_t>(m_bytes[m_pos++]);
        (*text)[i] = static_cast<wchar_t>(lo | (hi << 8));
    }
    return true;
}

} // namespace cefcompat
