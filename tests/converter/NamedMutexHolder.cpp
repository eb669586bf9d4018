// Helper process for the named-mutex tests.
//   NamedMutexHolder probe NAME  exits with 1 when the mutex NAME is available, else 0.
//   NamedMutexHolder hold NAME   locks NAME, sets the event NAME-ready, waits for NAME-go;
//                                then destroys its lock object, sets NAME-ready again and
//                                waits for NAME-go once more before it ends.
#include <windows.h>

#include <string>

#include "platform/Mutex.h"

namespace {

int Probe(const std::wstring& name)
{
    return NsPlatform::CreateNamedMutex(name)->IsAvailable() ? 1 : 0;
}

int Hold(const std::wstring& name)
{
    const NsWin32::CKernelHandle ready(CreateEventW(nullptr, FALSE, FALSE, (name + L"-ready").c_str()));
    const NsWin32::CKernelHandle go(CreateEventW(nullptr, FALSE, FALSE, (name + L"-go").c_str()));
    if (!ready || !go)
        return 2;
    auto mutex = NsPlatform::CreateNamedMutex(name);
    if (!mutex->Lock())
        return 3;
    SetEvent(ready.Get());
    WaitForSingleObject(go.Get(), INFINITE);
    mutex.reset();
    SetEvent(ready.Get());
    WaitForSingleObject(go.Get(), INFINITE);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    const std::wstring mode = argv[1];
    if (mode == L"probe")
        return Probe(argv[2]);
    if (mode == L"hold")
        return Hold(argv[2]);
    return 2;
}
