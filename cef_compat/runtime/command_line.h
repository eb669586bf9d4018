// CefCommandLine over a program, switches in order, and plain arguments.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "include/cef_command_line.h"

namespace cefcompat {

class CCommandLineImpl : public CefCommandLine {
public:
    explicit CCommandLineImpl(bool readOnly = false) : m_readOnly(readOnly) {}

    // Parses a Windows command line (as GetCommandLineW returns it).
    void ParseWindows(const std::wstring& commandLine);
    std::wstring ToWindowsString() const;
    std::wstring SwitchValue(const std::wstring& name) const;
    void SetReadOnly() { m_readOnly = true; }

    bool IsValid() OVERRIDE { return true; }
    bool IsReadOnly() OVERRIDE { return m_readOnly; }
    CefRefPtr<CefCommandLine> Copy() OVERRIDE;
    void InitFromArgv(int argc, const char* const* argv) OVERRIDE;
    void InitFromString(const CefString& command_line) OVERRIDE;
    void Reset() OVERRIDE;
    void GetArgv(std::vector<CefString>& argv) OVERRIDE;
    CefString GetCommandLineString() OVERRIDE;
    CefString GetProgram() OVERRIDE;
    void SetProgram(const CefString& program) OVERRIDE;
    bool HasSwitches() OVERRIDE;
    bool HasSwitch(const CefString& name) OVERRIDE;
    CefString GetSwitchValue(const CefString& name) OVERRIDE;
    void GetSwitches(SwitchMap& switches) OVERRIDE;
    void AppendSwitch(const CefString& name) OVERRIDE;
    void AppendSwitchWithValue(const CefString& name, const CefString& value) OVERRIDE;
    bool HasArguments() OVERRIDE;
    void GetArguments(ArgumentList& arguments) OVERRIDE;
    void AppendArgument(const CefString& argument) OVERRIDE;
    void PrependWrapper(const CefString& wrapper) OVERRIDE;

private:
    void ParseArgv(const std::vector<std::wstring>& argv);
    std::vector<std::wstring> Argv() const;

    bool m_readOnly;
    std::wstring m_program;
    std::vector<std::pair<std::wstring, std::wstring>> m_switches; // names lower case
    std::vector<std::wstring> m_arguments;
    IMPLEMENT_REFCOUNTING(CCommandLineImpl)
};

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument);

} // namespace cefcompat
