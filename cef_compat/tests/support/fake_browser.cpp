// Stands in for Edge or Chrome on Windows: starts a child of its own (as a browser starts its
// renderers), writes the child's process id and the profile folder it was given into
// fake-browser.txt inside that folder, and answers the first command on the debugging pipe
// that --remote-debugging-io-pipes names: first with a message of 4096 bytes, then with the
// answer ({"id":N,"result":{"product":"fake"}}). It runs until it is ended.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

bool WriteAll(HANDLE pipe, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

// Reads one NUL-terminated command and answers it.
void AnswerFirstCommand(HANDLE in, HANDLE out)
{
    std::string command;
    char c = 0;
    DWORD read = 0;
    while (command.size() < 65536 && ReadFile(in, &c, 1, &read, nullptr) && read == 1 && c != '\0')
        command += c;
    const size_t at = command.find("\"id\":");
    if (at == std::string::npos)
        return;
    const std::string id = std::to_string(std::atoi(command.c_str() + at + 5));
    const std::string padding = "{\"method\":\"Fake.padding\",\"params\":{\"text\":\"";
    std::string large = padding + std::string(4096 - padding.size() - 3, 'x') + "\"}}";
    WriteAll(out, large + '\0');
    WriteAll(out, "{\"id\":" + id + ",\"result\":{\"product\":\"fake\"}}" + '\0');
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring profileSwitch = L"--user-data-dir=";
    const std::wstring pipesSwitch = L"--remote-debugging-io-pipes=";
    std::wstring profile;
    HANDLE in = nullptr;
    HANDLE out = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--child") {
            WaitForSingleObject(GetCurrentProcess(), INFINITE);
            return 0;
        }
        if (argument.compare(0, profileSwitch.size(), profileSwitch) == 0)
            profile = argument.substr(profileSwitch.size());
        if (argument.compare(0, pipesSwitch.size(), pipesSwitch) == 0) {
            wchar_t* comma = nullptr;
            in = reinterpret_cast<HANDLE>(
                static_cast<uintptr_t>(std::wcstoull(argv[i] + pipesSwitch.size(), &comma, 10)));
            if (*comma == L',')
                out = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::wcstoull(comma + 1, nullptr, 10)));
        }
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[0]) + L"\" --child";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (profile.empty() || !in || !out ||
        !CreateProcessW(argv[0], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        return 1;
    }
    FILE* note = _wfopen((profile + L"\\fake-browser.txt").c_str(), L"w");
    if (!note)
        return 1;
    std::fprintf(note, "%lu\n%ls\n", child.dwProcessId, profile.c_str());
    std::fclose(note);
    AnswerFirstCommand(in, out);
    WaitForSingleObject(child.hProcess, INFINITE);
    return 0;
}
