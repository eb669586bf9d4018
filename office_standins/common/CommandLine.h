// The process's own command line, split into arguments.
#pragma once

#include <string>
#include <vector>

namespace StandIns {

// Every argument after the program name.
std::vector<std::wstring> CommandLineArguments();
// True for "/name" or "-name", in any case.
bool IsSwitch(const std::wstring& argument, const wchar_t* name);

} // namespace StandIns
