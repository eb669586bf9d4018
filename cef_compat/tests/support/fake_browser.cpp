// Stands in for Edge or Chrome on Windows: starts a child of its own (as a browser starts its
// renderers), writes the child's process id and the profile folder it was given into
// fake-browser.txt inside that folder, announces a DevTools endpoint on its error output as a
// browser does, and runs until it is ended.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    const std::wstring profileSwitch = L"--user-data-dir=";
    std::wstring profile;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--child") {
            WaitForSingleObject(GetCurrentProcess(), INFINITE);
            return 0;
        }
        if (argument.compare(0, profileSwitch.size(), profileSwitch) == 0)
            profile = argument.substr(profileSwitch.size());
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[0]) + L"\" --child";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (profile.empty() ||
        !CreateProcessW(argv[0], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        return 1;
    }
    FILE* note = _wfopen((profile + L"\\fake-browser.txt").c_str(), L"w");
    if (!note)
        return 1;
    std::fprintf(note, "%lu\n%ls\n", child.dwProcessId, profile.c_str());
    std::fclose(note);
    std::fputs("DevTools listening on ws://127.0.0.1:9222/devtools/browser/fake\r\n", stderr);
    std::fflush(stderr);
    WaitForSingleObject(child.hProcess, INFINITE);
    return 0;
}
