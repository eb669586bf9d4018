// POWERPNT.EXE: an out-of-process automation server that stands in for the presentation
// program. "/RegServer" and "/UnregServer" register and unregister it; any other start (COM
// starts it with "/automation -Embedding") serves clients.
#include "Registration.h"
#include "ServerModule.h"

#include "../common/CommandLine.h"
#include "../common/FilePaths.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    using namespace StandIns;
    for (const std::wstring& argument : CommandLineArguments()) {
        if (IsSwitch(argument, L"RegServer"))
            return RegisterApplicationServer(ModuleFilePath(nullptr)) ? 0 : 1;
        if (IsSwitch(argument, L"UnregServer"))
            return UnregisterApplicationServer() ? 0 : 1;
    }
    return CServerModule::Instance().Run();
}
