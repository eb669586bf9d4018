// Text helpers: UTF-8/UTF-16 conversion, and the token form of journal lines and control
// requests (space-separated tokens; text values percent-encoded).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "include/internal/cef_string.h"

namespace cefcompat {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& utf8);

// Percent-encodes '%', ',', bytes up to the space and DEL; other UTF-8 bytes stay as they are.
// The empty text is written "-" and a lone "-" as "%2D", so every value is one token.
std::string EncodeText(const std::string& utf8);
inline std::string EncodeText(const std::wstring& text)
{
    return EncodeText(ToUtf8(text));
}
// Reverses EncodeText; false for a malformed escape.
bool DecodeText(const std::string& token, std::string* utf8);

std::vector<std::string> SplitTokens(const std::string& line);

bool ParseInt64(const std::string& text, int64_t* value);
bool ParseInt(const std::string& text, int* value);
bool ParseDouble(const std::string& text, double* value);
std::string FormatHex(uint32_t value);
// Shortest text that reads back as the same double.
std::string FormatDouble(double value);

// Builds one line "<kind> <name> key=value ...".
class CLine {
public:
    CLine(const char* kind, const char* name);
    CLine& Add(const char* key, const std::string& utf8Text);
    CLine& Add(const char* key, const std::wstring& text) { return Add(key, ToUtf8(text)); }
    CLine& Add(const char* key, const CefString& text) { return Add(key, text.ToWString()); }
    CLine& Add(const char* key, const char* utf8Text) { return Add(key, std::string(utf8Text)); }
    CLine& Add(const char* key, int64_t number);
    CLine& Add(const char* key, int number) { return Add(key, static_cast<int64_t>(number)); }
    CLine& Add(const char* key, uint32_t number) { return Add(key, static_cast<int64_t>(number)); }
    CLine& Add(const char* key, bool flag) { return Add(key, static_cast<int64_t>(flag ? 1 : 0)); }
    CLine& Add(const char* key, double number);
    // A value that is already in token form (for example a list of encoded items).
    CLine& AddRaw(const char* key, const std::string& token);
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

// Joins already encoded items with ','; an empty list is the empty token.
std::string JoinList(const std::vector<std::string>& encodedItems);

} // namespace cefcompat
