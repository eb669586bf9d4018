#include "PathUtils.h"

#include <windows.h>

#include "FileSystem.h"
#include "NoThrow.h"

namespace NsPlatform {

namespace {

constexpr wchar_t kDirectorySeparator = L'\\';
constexpr wchar_t kFileExtSeparator = L'.';

wchar_t ToLowerByUserLanguage(wchar_t ch)
{
    // A pointer argument whose high word is zero is taken as one character and answered in
    // the low word of the result.
    return static_cast<wchar_t>(
        reinterpret_cast<ULONG_PTR>(CharLowerW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(ch)))));
}

} // namespace

PathUtils& PathUtils::operator=(const PathUtils&) = default;

std::wstring PathUtils::GetDirectorySeparator()
{
    return std::wstring(1, kDirectorySeparator);
}

std::wstring PathUtils::GetFileExtSeparator()
{
    return std::wstring(1, kFileExtSeparator);
}

std::wstring PathUtils::GetParentFolder(std::wstring path, bool withSeparator)
{
    return NoThrow<std::wstring>([&] {
        const auto separator = path.rfind(kDirectorySeparator);
        if (separator == std::wstring::npos)
            return std::wstring();
        return path.substr(0, withSeparator ? separator + 1 : separator);
    });
}

std::wstring PathUtils::GetFileName(std::wstring path, bool withExtension)
{
    return NoThrow<std::wstring>([&] {
        const auto separator = path.rfind(kDirectorySeparator);
        std::wstring name = separator == std::wstring::npos ? path : path.substr(separator + 1);
        if (!withExtension) {
            const auto dot = name.rfind(kFileExtSeparator);
            if (dot != std::wstring::npos)
                name.erase(dot);
        }
        return name;
    });
}

std::wstring PathUtils::GetFileExt(std::wstring path, bool withDot)
{
    return NoThrow<std::wstring>([&] {
        const auto dot = path.rfind(kFileExtSeparator);
        if (dot == std::wstring::npos)
            return std::wstring();
        std::wstring ext = path.substr(withDot ? dot : dot + 1);
        for (auto& ch : ext)
            ch = ToLowerByUserLanguage(ch);
        return ext;
    });
}

std::wstring PathUtils::CreateFilePath(std::wstring folder, std::wstring name, bool checkFolder)
{
    return NoThrow<std::wstring>([&] {
        if (checkFolder && !FileSystem::DirectoryExists(folder))
            return std::wstring();
        std::wstring path = std::move(folder);
        if (!path.empty() && path.back() != kDirectorySeparator)
            path += kDirectorySeparator;
        return path + name;
    });
}

} // namespace NsPlatform
