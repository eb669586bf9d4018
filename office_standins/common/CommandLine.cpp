#include "CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

namespace StandIns {

namespace {

struct SLocalFree {
    void operator()(LPWSTR* arguments) const { LocalFree(arguments); }
};

} // namespace

std::vector<std::wstring> CommandLineArguments()
{
    int count = 0;
    const std::unique_ptr<LPWSTR, SLocalFree> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::wstring> result;
    for (int index = 1; arguments && index < count; ++index)
        result.emplace_back(arguments.get()[index]);
    return result;
}

bool IsSwitch(const std::wstring& argument, const wchar_t* name)
{
    return argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-') &&
           _wcsicmp(argument.c_str() + 1, name) == 0;
}

} // namespace StandIns
