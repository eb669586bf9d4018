// CefString: a UTF-16 string that either owns its text or refers to a cef_string_t inside one
// of the API's structures (writing through to it).
#pragma once

#include <string>

#include "include/internal/cef_string_types.h"

// Conversions from and to standard strings are implicit, as callers of the API expect.
class CefString {
public:
    CefString() = default;
    CefString(const CefString& str);
    CefString(CefString&& str) noexcept;
    CefString(const std::wstring& src);
    CefString(const wchar_t* src);
    CefString(const std::string& utf8);
    CefString(const char* utf8);
    // Refers to |src| without owning it; assignments write into |src|.
    CefString(const cef_string_t* src);
    ~CefString();

    CefString& operator=(const CefString& str);
    CefString& operator=(CefString&& str) noexcept;
    CefString& operator=(const std::wstring& str);
    CefString& operator=(const wchar_t* str);
    CefString& operator=(const std::string& utf8);
    CefString& operator=(const char* utf8);

    const char16* c_str() const;
    size_t length() const;
    size_t size() const { return length(); }
    bool empty() const { return length() == 0; }
    int compare(const CefString& str) const;
    void clear();

    std::string ToString() const; // UTF-8
    std::wstring ToWString() const;
    bool FromString(const std::string& utf8);
    bool FromWString(const std::wstring& str);
    bool FromString(const char16* src, size_t src_len, bool copy);
    bool FromASCII(const char* src);

    operator std::string() const { return ToString(); }
    operator std::wstring() const { return ToWString(); }

    // The structure behind this string, created empty on demand.
    cef_string_t* GetWritableStruct();
    const cef_string_t* GetStruct() const { return string_; }
    // Refers to (owner false) or takes over (owner true) |str|.
    void Attach(cef_string_t* str, bool owner);

    bool operator<(const CefString& str) const { return compare(str) < 0; }
    bool operator<=(const CefString& str) const { return compare(str) <= 0; }
    bool operator>(const CefString& str) const { return compare(str) > 0; }
    bool operator>=(const CefString& str) const { return compare(str) >= 0; }
    bool operator==(const CefString& str) const { return compare(str) == 0; }
    bool operator!=(const CefString& str) const { return compare(str) != 0; }

private:
    void Release();
    bool Assign(const char16* src, size_t len);

    cef_string_t* string_ = nullptr;
    bool owner_ = false;
};

typedef CefString CefStringUTF16;
