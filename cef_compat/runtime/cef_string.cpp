// CefString and the C string functions behind it.
#include "include/internal/cef_string.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <new>

namespace {

void FreeOwnedText(char16* str)
{
    delete[] str;
}

std::wstring Utf8ToWide(const char* utf8, size_t len)
{
    if (len == 0)
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(len), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(len), &out[0], n);
    return out;
}

std::string WideToUtf8(const wchar_t* wide, size_t len)
{
    if (len == 0)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(len), &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

extern "C" int cef_string_utf16_set(const char16* src, size_t src_len, cef_string_utf16_t* output, int copy)
{
    if (!output)
        return 0;
    cef_string_utf16_clear(output);
    if (!src || src_len == 0)
        return 1;
    if (!copy) {
        output->str = const_cast<char16*>(src);
        output->length = src_len;
        return 1;
    }
    char16* text = new (std::nothrow) char16[src_len + 1];
    if (!text)
        return 0;
    std::memcpy(text, src, src_len * sizeof(char16));
    text[src_len] = 0;
    output->str = text;
    output->length = src_len;
    output->dtor = FreeOwnedText;
    return 1;
}

extern "C" void cef_string_utf16_clear(cef_string_utf16_t* str)
{
    if (!str)
        return;
    if (str->dtor && str->str)
        str->dtor(str->str);
    str->str = nullptr;
    str->length = 0;
    str->dtor = nullptr;
}

extern "C" int cef_string_utf16_cmp(const cef_string_utf16_t* str1, const cef_string_utf16_t* str2)
{
    const size_t len1 = str1 ? str1->length : 0;
    const size_t len2 = str2 ? str2->length : 0;
    const size_t common = len1 < len2 ? len1 : len2;
    if (common > 0) {
        const int r = std::wmemcmp(str1->str, str2->str, common);
        if (r != 0)
            return r;
    }
    if (len1 == len2)
        return 0;
    return len1 < len2 ? -1 : 1;
}

CefString::CefString(const CefString& str)
{
    Assign(str.c_str(), str.length());
}

CefString::CefString(CefString&& str) noexcept : string_(str.string_), owner_(str.owner_)
{
    if (owner_) {
        str.string_ = nullptr;
        str.owner_ = false;
    } else {
        // A reference stays a reference in both.
        string_ = nullptr;
        Assign(str.c_str(), str.length());
    }
}

CefString::CefString(const std::wstring& src)
{
    Assign(src.data(), src.size());
}
CefString::CefString(const wchar_t* src)
{
    Assign(src, src ? std::wcslen(src) : 0);
}
CefString::CefString(const std::string& utf8)
{
    FromString(utf8);
}
CefString::CefString(const char* utf8)
{
    FromString(utf8 ? std::string(utf8) : std::string());
}
CefString::CefString(const cef_string_t* src) : string_(const_cast<cef_string_t*>(src)) {}

CefString::~CefString()
{
    Release();
}

CefString& CefString::operator=(const CefString& str)
{
    if (this != &str) {
        // Copy first: |str| may refer to the structure this string writes into.
        const std::wstring text = str.ToWString();
        Assign(text.data(), text.size());
    }
    return *this;
}

CefString& CefString::operator=(CefString&& str) noexcept
{
    if (this != &str) {
        if (owner_ || !string_) {
            if (str.owner_) {
                Release();
                string_ = str.string_;
                owner_ = true;
                str.string_ = nullptr;
                str.owner_ = false;
                return *this;
            }
        }
        const std::wstring text = str.ToWString();
        Assign(text.data(), text.size());
    }
    return *this;
}

CefString& CefString::operator=(const std::wstring& str)
{
    Assign(str.data(), str.size());
    return *this;
}
CefString& CefString::operator=(const wchar_t* str)
{
    Assign(str, str ? std::wcslen(str) : 0);
    return *this;
}
CefString& CefString::operator=(const std::string& utf8)
{
    FromString(utf8);
    return *this;
}
CefString& CefString::operator=(const char* utf8)
{
    FromString(utf8 ? std::string(utf8) : std::string());
    return *this;
}

const char16* CefString::c_str() const
{
    return (string_ && string_->str) ? string_->str : L"";
}

size_t CefString::length() const
{
    return string_ ? string_->length : 0;
}

int CefString::compare(const CefString& str) const
{
    return cef_string_utf16_cmp(string_, str.string_);
}

void CefString::clear()
{
    if (string_)
        cef_string_utf16_clear(string_);
}

std::string CefString::ToString() const
{
    return WideToUtf8(c_str(), length());
}
std::wstring CefString::ToWString() const
{
    return std::wstring(c_str(), length());
}

bool CefString::FromString(const std::string& utf8)
{
    const std::wstring wide = Utf8ToWide(utf8.data(), utf8.size());
    return Assign(wide.data(), wide.size());
}

bool CefString::FromWString(const std::wstring& str)
{
    return Assign(str.data(), str.size());
}

bool CefString::FromString(const char16* src, size_t src_len, bool copy)
{
    if (copy)
        return Assign(src, src_len);
    return cef_string_utf16_set(src, src_len, GetWritableStruct(), 0) != 0;
}

bool CefString::FromASCII(const char* src)
{
    return FromString(src ? std::string(src) : std::string());
}

cef_string_t* CefString::GetWritableStruct()
{
    if (!string_) {
        string_ = new cef_string_t();
        owner_ = true;
    }
    return string_;
}

void CefString::Attach(cef_string_t* str, bool owner)
{
    Release();
    string_ = str;
    owner_ = owner;
}

void CefString::Release()
{
    if (owner_ && string_) {
        cef_string_utf16_clear(string_);
        delete string_;
    }
    string_ = nullptr;
    owner_ = false;
}

bool CefString::Assign(const char16* src, size_t len)
{
    return cef_string_utf16_set(src, len, GetWritableStruct(), 1) != 0;
}
