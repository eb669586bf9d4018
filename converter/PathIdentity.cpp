#include "PathIdentity.h"

#include "platform/PathUtils.h"

namespace NsConverter {

using NsPlatform::PathUtils;

namespace {

std::wstring LongPath(const std::wstring& path)
{
    return PathFromSystem([&](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(path.c_str(), buffer, size); });
}

// The full path in long names, as far as it exists.
std::wstring ComparablePath(const std::wstring& path)
{
    const std::wstring full = PathFromSystem(
        [&](wchar_t* buffer, DWORD size) { return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
    if (full.empty())
        return path;
    const std::wstring whole = LongPath(full);
    if (!whole.empty())
        return whole;
    // A file that does not exist yet has no long name; its folder may have one.
    const std::wstring longFolder = LongPath(PathUtils::GetParentFolder(full, true));
    return longFolder.empty() ? full : longFolder + PathUtils::GetFileName(full, true);
}

} // namespace

bool IsSamePath(const std::wstring& first, const std::wstring& second)
{
    return _wcsicmp(ComparablePath(first).c_str(), ComparablePath(second).c_str()) == 0;
}

} // namespace NsConverter
