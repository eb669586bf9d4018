// slidewarp_bench [--libreoffice] [--megabytes N] [--runs N]
// A whole conversion through Slidewarp.dll against the presentation program's own conversion of
// the same file (open, save as 97-2003, close), both through the registered stand-in, in one
// run. The stand-in is kept running, as on a user's desk. A conversion contacts the program
// three times more than the program's own conversion does, by design (two probes on a worker
// thread and the version query); those are measured on their own, and the overhead is also
// shown net of them. Table rows go to stdout (see BenchSupport.h).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "InputCheck.h"
#include "PackDetection.h"
#include "PowerPointAutomation.h"
#include "SamplePresentation.h"
#include "platform/FileSystem.h"
#include "Win32Owners.h"

using namespace NsConverter;
using namespace NsConverter::PowerPoint;
using NsBench::CStopwatch;
using NsBench::Median;
using NsPlatform::FileSystem;

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\OfficeStandins\\PowerPoint";

struct SOptions {
    bool libreOffice = false;
    long megabytes = 10;
    int runs = 7;
};

std::wstring BinFolder()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, length);
    return path.substr(0, path.rfind(L'\\') + 1);
}

bool Register(const wchar_t* program)
{
    const std::wstring path = BinFolder() + program;
    std::wstring commandLine = L"\"" + path + L"\" /RegServer";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &created))
        return false;
    const NsWin32::CKernelHandle process(created.hProcess);
    const NsWin32::CKernelHandle thread(created.hThread);
    DWORD exitCode = 1;
    return WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0 && GetExitCodeProcess(process.Get(), &exitCode) &&
           exitCode == 0;
}

// The stand-in with its defaults; LibreOffice only when asked for, since it would drown what
// is measured here.
void ConfigureStandin(bool libreOffice)
{
    RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
    if (libreOffice)
        return;
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    const NsWin32::CRegistryKey owner(key);
    const wchar_t none[] = L"";
    RegSetValueExW(key, L"LibreOffice", 0, REG_SZ, reinterpret_cast<const BYTE*>(none), sizeof(none));
}

// The program's own conversion, as a caller that needs no checks would run it.
bool ConvertByTheProgram(const std::wstring& input, const std::wstring& output)
{
    try {
        const CComPtr<_Application> application = StartPowerPoint();
        const CComPtr<_Presentation> presentation =
            application->GetPresentations()->Open(input, msoTrue, msoFalse, msoFalse);
        const bool saved = presentation->SaveAs(output, ppSaveAsPresentation, msoFalse) == S_OK;
        presentation->Close();
        return saved;
    } catch (const _com_error& error) {
        std::fprintf(stderr, "the program's own conversion failed: 0x%08lX\n",
                     static_cast<unsigned long>(error.Error()));
        return false;
    }
}

bool ParseOptions(int argc, wchar_t** argv, SOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--libreoffice")
            options.libreOffice = true;
        else if (argument == L"--megabytes" && i + 1 < argc)
            options.megabytes = std::wcstol(argv[++i], nullptr, 10);
        else if (argument == L"--runs" && i + 1 < argc)
            options.runs = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        else
            return false;
    }
    return options.megabytes >= 0 && options.megabytes <= 512 && options.runs >= 1 && options.runs <= 100;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs("usage: slidewarp_bench [--libreoffice] [--megabytes N] [--runs N]\n", stderr);
        return 2;
    }
    if (!Register(L"POWERPNT.EXE") || !Register(L"moc.exe")) {
        std::fputs("cannot register the stand-ins\n", stderr);
        return 1;
    }
    ConfigureStandin(options.libreOffice);
    const HMODULE slidewarp = LoadLibraryW(L"Slidewarp.dll");
    using Convert = int (*)(const wchar_t*, wchar_t*, unsigned int*);
    const auto convert =
        reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(GetProcAddress(slidewarp, "ConvertPPTXtoPPT")));
    if (!convert) {
        std::fputs("cannot load Slidewarp.dll\n", stderr);
        return 1;
    }

    const CComApartment apartment;
    const std::wstring folder =
        FileSystem::GetTempPathW() + L"slidewarp-bench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring input = folder + L"\\deck.pptx";
    const std::wstring output = folder + L"\\deck.ppt";
    if (!WriteSamplePresentation(input, L"Benchmark", static_cast<std::size_t>(options.megabytes) * 1024 * 1024)) {
        std::fputs("cannot write the sample presentation\n", stderr);
        return 1;
    }

    // Held for the whole run: the program stays up.
    const CComPtr<_Application> held = StartPowerPoint();
    std::vector<double> direct;
    std::vector<double> whole;
    std::vector<double> contacts;
    std::vector<double> checks;
    std::vector<double> copies;
    int failures = 0;
    for (int run = 0; run < options.runs; ++run) {
        FileSystem::DeleteFileW(output);
        const CStopwatch contactTimer;
        ProbePowerPoint();
        ProbePowerPoint();
        std::wstring version;
        std::wstring build;
        QueryPowerPointVersion(version, build);
        contacts.push_back(contactTimer.Milliseconds());

        // The steps of a conversion that touch neither the program nor its output.
        const CStopwatch checkTimer;
        bool isCompoundDocument = false;
        bool hasModifyPassword = false;
        IsPowerPointRunning();
        CheckPresentationFile(input, isCompoundDocument, hasModifyPassword);
        IsCompatibilityPackInstalled();
        checks.push_back(checkTimer.Milliseconds());
        const CStopwatch copyTimer;
        FileSystem::CopyFileW(input, input + L".copy", 1);
        FileSystem::DeleteFileW(input + L".copy");
        copies.push_back(copyTimer.Milliseconds());

        const CStopwatch directTimer;
        failures += ConvertByTheProgram(input, output) ? 0 : 1;
        direct.push_back(directTimer.Milliseconds());
        FileSystem::DeleteFileW(output);

        std::vector<wchar_t> buffer(output.begin(), output.end());
        buffer.push_back(L'\0');
        unsigned int size = static_cast<unsigned int>(buffer.size());
        const CStopwatch wholeTimer;
        const int status = convert(input.c_str(), buffer.data(), &size);
        whole.push_back(wholeTimer.Milliseconds());
        if (status != 0) {
            std::fprintf(stderr, "ConvertPPTXtoPPT returned %d\n", status);
            ++failures;
        }
    }
    FileSystem::DeleteFolder(folder, false);

    const double directMs = Median(direct);
    const double wholeMs = Median(whole);
    const double contactsMs = Median(contacts);
    const double overheadMs = wholeMs - directMs;
    std::printf("input: %ld MB of padding, %d runs, LibreOffice %s\n", options.megabytes, options.runs,
                options.libreOffice ? "on" : "off");
    std::printf("program's own conversion (median):        %8.1f ms\n", directMs);
    std::printf("Slidewarp conversion (median):            %8.1f ms\n", wholeMs);
    std::printf("two probes and a version query (median):  %8.1f ms\n", contactsMs);
    std::printf("Slidewarp overhead: %.1f ms, ratio %.2fx\n", overheadMs, directMs > 0 ? wholeMs / directMs : 0.0);
    std::printf("overhead beyond the probes and the query: %.1f ms (aim: under 50 ms)\n", overheadMs - contactsMs);
    std::printf("  of which, measured alone: input and pack checks %.1f ms, temporary copy %.1f ms\n", Median(checks),
                Median(copies));
    NsBench::PrintRow({"slidewarp_conversion", "Slidewarp conversion (ConvertPPTXtoPPT, whole)", wholeMs, "ms",
                       "the stand-in converting the same file alone", directMs, NsBench::Goal::Report, 0});
    NsBench::PrintRow({"slidewarp_overhead", "Slidewarp conversion overhead beyond the stand-in's own conversion",
                       overheadMs, "ms", "the stand-in converting the same file alone", directMs, NsBench::Goal::Report,
                       0});
    return failures == 0 ? 0 : 1;
}
