#include "engines/chromium_urls.h"

#include <cstdio>

#include "engines/chromium_process.h"
#include "runtime/text.h"

namespace cefcompat {
namespace {

const std::wstring kFileScheme = L"file://";

std::string PercentDecoded(const std::string& text)
{
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() && std::sscanf(text.substr(i + 1, 2).c_str(), "%2x", &value) == 1) {
            decoded += static_cast<char>(value);
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// Only what would end or break a path in a URL is escaped.
std::wstring PathUrl(const std::string& path)
{
    std::string url;
    for (char c : path) {
        if (c == ' ' || c == '%' || c == '#' || c == '?' || static_cast<unsigned char>(c) < 0x20) {
            char escape[4];
            std::snprintf(escape, sizeof(escape), "%%%02X", static_cast<unsigned char>(c));
            url += escape;
        } else {
            url += c;
        }
    }
    return kFileScheme + FromUtf8(url);
}

// A file URL's path (percent-decoded) and what follows it (query, fragment).
bool SplitFileUrl(const std::wstring& url, std::string* path, std::wstring* rest)
{
    if (url.compare(0, kFileScheme.size(), kFileScheme) != 0)
        return false;
    const size_t end = url.find_first_of(L"?#", kFileScheme.size());
    *path = PercentDecoded(ToUtf8(
        url.substr(kFileScheme.size(), end == std::wstring::npos ? std::wstring::npos : end - kFileScheme.size())));
    *rest = end == std::wstring::npos ? std::wstring() : url.substr(end);
    return true;
}

} // namespace

std::wstring ToChromiumUrl(const std::wstring& url)
{
    std::string path;
    std::wstring rest;
    // file:///Z:/dir -> "/Z:/dir": a drive letter follows the first slash.
    if (!SplitFileUrl(url, &path, &rest) || path.size() < 3 || path[0] != '/' || path[2] != ':')
        return url;
    std::wstring windowsPath = FromUtf8(path.substr(1));
    for (wchar_t& c : windowsPath) {
        if (c == L'/')
            c = L'\\';
    }
    const std::string linuxPath = LinuxPathOf(windowsPath);
    return linuxPath.empty() ? url : PathUrl(linuxPath) + rest;
}

std::wstring FromChromiumUrl(const std::wstring& url)
{
    std::string path;
    std::wstring rest;
    if (!SplitFileUrl(url, &path, &rest) || path.empty() || path[0] != '/')
        return url;
    std::wstring windowsPath = WindowsPathOf(path);
    if (windowsPath.empty())
        return url;
    for (wchar_t& c : windowsPath) {
        if (c == L'\\')
            c = L'/';
    }
    return PathUrl("/" + ToUtf8(windowsPath)) + rest;
}

} // namespace cefcompat
