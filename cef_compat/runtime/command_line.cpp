#include "runtime/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "runtime/text.h"

namespace cefcompat {
namespace {

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

// Length of the switch prefix ("--", "-" or "/") that starts |arg|, 0 when it is no switch.
size_t SwitchPrefixLength(const std::wstring& arg)
{
    if (arg.compare(0, 2, L"--") == 0)
        return arg.size() > 2 ? 2 : 0;
    if (!arg.empty() && (arg[0] == L'-' || arg[0] == L'/'))
        return arg.size() > 1 ? 1 : 0;
    return 0;
}

std::vector<std::wstring> SplitWindows(const std::wstring& commandLine)
{
    std::vector<std::wstring> argv;
    if (commandLine.empty())
        return argv;
    int argc = 0;
    LPWSTR* parts = CommandLineToArgvW(commandLine.c_str(), &argc);
    if (!parts)
        return argv;
    for (int i = 0; i < argc; ++i)
        argv.emplace_back(parts[i]);
    LocalFree(parts);
    return argv;
}

} // namespace

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

void CCommandLineImpl::ParseWindows(const std::wstring& commandLine)
{
    ParseArgv(SplitWindows(commandLine));
}

void CCommandLineImpl::ParseArgv(const std::vector<std::wstring>& argv)
{
    m_program.clear();
    m_switches.clear();
    m_arguments.clear();
    if (argv.empty())
        return;
    m_program = argv[0];
    bool parseSwitches = true;
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::wstring& arg = argv[i];
        if (parseSwitches && arg == L"--") {
            parseSwitches = false;
            continue;
        }
        const size_t prefix = parseSwitches ? SwitchPrefixLength(arg) : 0;
        if (prefix == 0) {
            m_arguments.push_back(arg);
            continue;
        }
        const std::wstring body = arg.substr(prefix);
        const size_t eq = body.find(L'=');
        m_switches.emplace_back(Lower(body.substr(0, eq)),
                                eq == std::wstring::npos ? std::wstring() : body.substr(eq + 1));
    }
}

std::vector<std::wstring> CCommandLineImpl::Argv() const
{
    std::vector<std::wstring> argv{m_program};
    for (const auto& sw : m_switches) {
        argv.push_back(L"--" + sw.first + (sw.second.empty() ? L"" : L"=" + sw.second));
    }
    const bool needsSeparator = std::any_of(m_arguments.begin(), m_arguments.end(), [](const std::wstring& a) {
        return SwitchPrefixLength(a) > 0 || a == L"--";
    });
    if (needsSeparator)
        argv.push_back(L"--");
    argv.insert(argv.end(), m_arguments.begin(), m_arguments.end());
    return argv;
}

std::wstring CCommandLineImpl::ToWindowsString() const
{
    std::wstring out;
    for (const std::wstring& arg : Argv()) {
        if (!out.empty())
            out += L' ';
        out += QuoteArgument(arg);
    }
    return out;
}

std::wstring CCommandLineImpl::SwitchValue(const std::wstring& name) const
{
    const std::wstring key = Lower(name);
    // The last occurrence wins.
    for (auto it = m_switches.rbegin(); it != m_switches.rend(); ++it) {
        if (it->first == key)
            return it->second;
    }
    return std::wstring();
}

CefRefPtr<CefCommandLine> CCommandLineImpl::Copy()
{
    CefRefPtr<CCommandLineImpl> copy = new CCommandLineImpl();
    copy->m_program = m_program;
    copy->m_switches = m_switches;
    copy->m_arguments = m_arguments;
    return copy.get();
}

void CCommandLineImpl::InitFromArgv(int argc, const char* const* argv)
{
    if (m_readOnly || argc < 0 || (argc > 0 && !argv))
        return;
    std::vector<std::wstring> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(FromUtf8(argv[i] ? argv[i] : ""));
    ParseArgv(args);
}

void CCommandLineImpl::InitFromString(const CefString& command_line)
{
    if (!m_readOnly)
        ParseWindows(command_line.ToWString());
}

void CCommandLineImpl::Reset()
{
    if (m_readOnly)
        return;
    m_program.clear();
    m_switches.clear();
    m_arguments.clear();
}

void CCommandLineImpl::GetArgv(std::vector<CefString>& argv)
{
    argv.clear();
    for (const std::wstring& arg : Argv())
        argv.emplace_back(arg);
}

CefString CCommandLineImpl::GetCommandLineString()
{
    return ToWindowsString();
}
CefString CCommandLineImpl::GetProgram()
{
    return m_program;
}

void CCommandLineImpl::SetProgram(const CefString& program)
{
    if (!m_readOnly)
        m_program = program.ToWString();
}

bool CCommandLineImpl::HasSwitches()
{
    return !m_switches.empty();
}

bool CCommandLineImpl::HasSwitch(const CefString& name)
{
    const std::wstring key = Lower(name.ToWString());
    return std::any_of(m_switches.begin(), m_switches.end(), [&key](const auto& sw) { return sw.first == key; });
}

CefString CCommandLineImpl::GetSwitchValue(const CefString& name)
{
    return SwitchValue(name.ToWString());
}

void CCommandLineImpl::GetSwitches(SwitchMap& switches)
{
    switches.clear();
    for (const auto& sw : m_switches)
        switches[sw.first] = sw.second;
}

void CCommandLineImpl::AppendSwitch(const CefString& name)
{
    AppendSwitchWithValue(name, CefString());
}

void CCommandLineImpl::AppendSwitchWithValue(const CefString& name, const CefString& value)
{
    if (m_readOnly || name.empty())
        return;
    m_switches.emplace_back(Lower(name.ToWString()), value.ToWString());
}

bool CCommandLineImpl::HasArguments()
{
    return !m_arguments.empty();
}

void CCommandLineImpl::GetArguments(ArgumentList& arguments)
{
    arguments.clear();
    for (const std::wstring& arg : m_arguments)
        arguments.emplace_back(arg);
}

void CCommandLineImpl::AppendArgument(const CefString& argument)
{
    if (!m_readOnly)
        m_arguments.push_back(argument.ToWString());
}

void CCommandLineImpl::PrependWrapper(const CefString& wrapper)
{
    if (m_readOnly || wrapper.empty())
        return;
    // The wrapper's own words come first; the old program becomes its first argument.
    std::vector<std::wstring> words = SplitWindows(L"x " + wrapper.ToWString());
    if (words.size() < 2)
        return;
    words.erase(words.begin());
    std::vector<std::wstring> argv = Argv();
    words.insert(words.end(), argv.begin(), argv.end());
    ParseArgv(words);
}

} // namespace cefcompat
