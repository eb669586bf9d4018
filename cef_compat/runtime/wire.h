// The byte form of messages on the private pipe between the browser process and a render
// process: little-endian integers, doubles, and UTF-16 strings with a 32-bit unit count.
// A reader never reads past its buffer and fails on anything malformed.
#pragma once

#include <cstdint>
#include <string>

namespace cefcompat {

// Upper bound of one framed message on the private pipe.
constexpr uint32_t kMaxWireMessage = 4u * 1024u * 1024u;
// Upper bound of nesting in lists and script values.
constexpr int kMaxWireDepth = 16;

class CWireWriter {
public:
    void U8(uint8_t value) { m_bytes.push_back(static_cast<char>(value)); }
    void U32(uint32_t value);
    void I32(int32_t value) { U32(static_cast<uint32_t>(value)); }
    void I64(int64_t value);
    void F64(double value);
    void Bool(bool value) { U8(value ? 1 : 0); }
    void Text(const std::wstring& text);
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

class CWireReader {
public:
    // Reads |bytes| in place: they must outlive the reader.
    explicit CWireReader(const std::string& bytes) : m_bytes(bytes) {}
    explicit CWireReader(std::string&&) = delete;
    bool U8(uint8_t* value);
    bool U32(uint32_t* value);
    bool I32(int32_t* value);
    bool I64(int64_t* value);
    bool F64(double* value);
    bool Bool(bool* value);
    bool Text(std::wstring* text);
    bool AtEnd() const { return m_pos == m_bytes.size(); }

private:
    bool Take(void* out, size_t size);

    const std::string& m_bytes;
    size_t m_pos = 0;
};

} // namespace cefcompat
