// pagehull-drive: plays the add-in for one Pagehull host through PagehullClient.dll. Opens the
// channel, starts the host, prints every event text, runs the steps and writes the last frame
// as a PNG. The exit code tells the outcome (see DriveExit).

#include "DriveScript.h"
#include "DriveSession.h"
#include "Utf8.h"
#include "Win32Handles.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>

namespace {

class CConsoleOutput : public IDriveOutput {
public:
    void Print(const std::wstring& line) override { Write(stdout, line); }
    void Fail(const std::wstring& message) override { Write(stderr, L"pagehull-drive: " + message); }

private:
    void Write(FILE* stream, const std::wstring& line)
    {
        const std::string bytes = ToUtf8(line) + "\n";
        const std::lock_guard<std::mutex> guard(m_lock);
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::fflush(stream);
    }

    std::mutex m_lock;
};

struct Options {
    std::wstring hostPath;
    int32_t index = 0;
    std::wstring address;
    std::wstring scriptPath;
    std::wstring pngPath;
    std::vector<std::wstring> hostSwitches;
    uint32_t timeoutMs = CDriveSession::kDefaultTimeoutMs;
    bool launch = true;
    bool help = false;
    std::vector<std::wstring> stepLines;
};

const wchar_t kUsage[] = L"usage: pagehull-drive [OPTIONS] ADDRESS [STEP...]\n"
                         L"  --host=PATH       Pagehull.exe to start (default: the one beside this program)\n"
                         L"  --idx=N           instance index (default 0)\n"
                         L"  --script=FILE     steps from FILE, one per line ('-' for standard input); they run\n"
                         L"                    before the steps given as arguments\n"
                         L"  --png=FILE        write the last frame as a PNG picture at the end\n"
                         L"  --host-switch=S   one more switch on the host's command line (repeatable), for example\n"
                         L"                    --host-switch=--cefcompat-engine=scripted\n"
                         L"  --timeout=MS      time limit of every wait (default 15000)\n"
                         L"  --no-launch       start no host; wait for one started with this program's --pid\n"
                         L"Prints 'pid: N' first, then 'event: TEXT' for every event text, and one line per query\n"
                         L"(canGoBack:, canGoForward:, url:), frame step (frame: WxH), picture (png: FILE WxH) and\n"
                         L"the host's end (hostExit: CODE).\n"
                         L"Exit codes: 0 done, 1 usage, 2 start-up failed, 3 time-out, 4 unexpected answer,\n"
                         L"5 host gone, 6 no picture.\n";

std::wstring DefaultHostPath()
{
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const size_t slash = path.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + L"Pagehull.exe";
}

bool TakeValue(const std::wstring& argument, const wchar_t* name, std::wstring& value)
{
    const std::wstring prefix = std::wstring(name) + L"=";
    if (argument.compare(0, prefix.size(), prefix) != 0)
        return false;
    value = argument.substr(prefix.size());
    return true;
}

bool ParsePositive(const std::wstring& text, uint32_t& value)
{
    wchar_t* end = nullptr;
    const unsigned long parsed = std::wcstoul(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || parsed == 0 || parsed >= INFINITE)
        return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options, std::wstring& error)
{
    options.hostPath = DefaultHostPath();
    // Options come first; the first other argument is the address (unless no host is to be
    // started) and every later one is a step, even if it starts with "--".
    bool positional = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        std::wstring value;
        if (positional || argument.compare(0, 2, L"--") != 0) {
            if (!positional && options.launch)
                options.address = argument;
            else
                options.stepLines.push_back(argument);
            positional = true;
        } else if (argument == L"--help") {
            options.help = true;
        } else if (argument == L"--no-launch") {
            options.launch = false;
        } else if (TakeValue(argument, L"--host", options.hostPath) ||
                   TakeValue(argument, L"--script", options.scriptPath) ||
                   TakeValue(argument, L"--png", options.pngPath)) {
        } else if (TakeValue(argument, L"--host-switch", value)) {
            options.hostSwitches.push_back(value);
        } else if (TakeValue(argument, L"--idx", value)) {
            wchar_t* end = nullptr;
            const long index = std::wcstol(value.c_str(), &end, 10);
            if (value.empty() || *end != L'\0' || index == -1) {
                error = L"--idx needs an integer other than -1";
                return false;
            }
            options.index = static_cast<int32_t>(index);
        } else if (TakeValue(argument, L"--timeout", value)) {
            if (!ParsePositive(value, options.timeoutMs)) {
                error = L"--timeout needs a positive number of milliseconds";
                return false;
            }
        } else {
            error = L"unknown option " + argument;
            return false;
        }
    }
    if (options.launch && options.address.empty() && !options.help) {
        error = L"no address given";
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    NsWin32::CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    return true;
}

bool ReadScript(const std::wstring& path, std::vector<std::wstring>& lines)
{
    std::string bytes;
    if (path == L"-")
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    else if (!ReadWholeFile(path, bytes))
        return false;
    std::wistringstream text(FromUtf8(bytes));
    for (std::wstring line; std::getline(text, line);)
        lines.push_back(line);
    return true;
}

DriveExit ParseSteps(const Options& options, std::vector<DriveStep>& steps, IDriveOutput& output)
{
    std::vector<std::wstring> lines;
    if (!options.scriptPath.empty() && !ReadScript(options.scriptPath, lines)) {
        output.Fail(L"cannot read " + options.scriptPath);
        return DriveExit::Usage;
    }
    lines.insert(lines.end(), options.stepLines.begin(), options.stepLines.end());
    for (const std::wstring& line : lines) {
        std::wstring error;
        if (!ParseStep(line, steps, error)) {
            output.Fail(L"'" + line + L"': " + error);
            return DriveExit::Usage;
        }
    }
    return DriveExit::Ok;
}

// The first failure decides the exit code; later ones are still reported.
DriveExit First(DriveExit earlier, DriveExit later)
{
    return earlier != DriveExit::Ok ? earlier : later;
}

DriveExit Drive(const Options& options, const std::vector<DriveStep>& steps, IDriveOutput& output)
{
    const auto processId = static_cast<int32_t>(::GetCurrentProcessId());
    output.Print(L"pid: " + std::to_wstring(processId));
    CDriveSession session(options.index, output, options.timeoutMs);
    DriveExit exit = session.Open();
    if (exit != DriveExit::Ok)
        return exit;
    exit =
        options.launch ? session.Launch(options.hostPath, options.hostSwitches, options.address) : session.AwaitHost();
    if (exit == DriveExit::Ok)
        exit = session.Run(steps);
    if (!options.pngPath.empty())
        exit = First(exit, session.SavePng(options.pngPath));
    return First(exit, session.Finish());
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Lines end in "\n" alone, so scripts on any system read them alike.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    CConsoleOutput output;
    Options options;
    std::wstring error;
    if (!ParseOptions(argc, argv, options, error)) {
        output.Fail(error);
        std::fputs(ToUtf8(kUsage).c_str(), stderr);
        return static_cast<int>(DriveExit::Usage);
    }
    if (options.help) {
        std::fputs(ToUtf8(std::wstring(kUsage) + StepSyntax()).c_str(), stdout);
        return static_cast<int>(DriveExit::Ok);
    }
    std::vector<DriveStep> steps;
    const DriveExit parsed = ParseSteps(options, steps, output);
    if (parsed != DriveExit::Ok)
        return static_cast<int>(parsed);
    return static_cast<int>(Drive(options, steps, output));
}
