#include "runtime/text.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace cefcompat {

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string EncodeText(const std::string& utf8)
{
    if (utf8.empty())
        return "-";
    if (utf8 == "-")
        return "%2D";
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    for (unsigned char c : utf8) {
        if (c <= 0x20 || c == 0x7F || c == '%' || c == ',') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

namespace {
int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
} // namespace

bool DecodeText(const std::string& token, std::string* utf8)
{
    utf8->clear();
    if (token == "-")
        return true;
    for (size_t i = 0; i < token.size(); ++i) {
        if (token[i] != '%') {
            *utf8 += token[i];
            continue;
        }
        if (i + 2 >= token.size())
            return false;
        const int hi = HexValue(token[i + 1]);
        const int lo = HexValue(token[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        *utf8 += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

std::vector<std::string> SplitTokens(const std::string& line)
{
    std::vector<std::string> tokens;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        const size_t end = line.find(' ', pos);
        const size_t stop = end == std::string::npos ? line.size() : end;
        if (stop > pos)
            tokens.push_back(line.substr(pos, stop - pos));
        pos = stop;
    }
    return tokens;
}

bool ParseInt64(const std::string& text, int64_t* value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || !end || *end != '\0')
        return false;
    *value = v;
    return true;
}

bool ParseInt(const std::string& text, int* value)
{
    int64_t v = 0;
    if (!ParseInt64(text, &v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    *value = static_cast<int>(v);
    return true;
}

bool ParseDouble(const std::string& text, double* value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || !end || *end != '\0')
        return false;
    *value = v;
    return true;
}

std::string FormatHex(uint32_t value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "0x%08X", static_cast<unsigned>(value));
    return buffer;
}

std::string FormatDouble(double value)
{
    char buffer[64];
    for (int precision = 6; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof(buffer), "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value)
            break;
    }
    return buffer;
}

CLine::CLine(const char* kind, const char* name)
{
    m_text = kind;
    m_text += ' ';
    m_text += name;
}

CLine& CLine::Add(const char* key, const std::string& utf8Text)
{
    return AddRaw(key, EncodeText(utf8Text));
}

CLine& CLine::Add(const char* key, int64_t number)
{
    return AddRaw(key, std::to_string(number));
}

CLine& CLine::Add(const char* key, double number)
{
    return AddRaw(key, FormatDouble(number));
}

CLine& CLine::AddRaw(const char* key, const std::string& token)
{
    m_text += ' ';
    m_text += key;
    m_text += '=';
    m_text += token;
    return *this;
}

std::string JoinList(const std::vector<std::string>& encodedItems)
{
    std::string out;
    for (size_t i = 0; i < encodedItems.size(); ++i) {
        if (i)
            out += ',';
        out += encodedItems[i];
    }
    return out;
}

} // namespace cefcompat
