// Plays the add-in's process for the host's watch, or another process of the add-in's. On
// its take signal it takes the channel mutexes of its command line, reports that it holds
// them, and keeps them until it is killed: a killed process leaves them abandoned. It never
// outlives the test that started it.
//
// host_faults_addin.exe <test pid> <take event> <held event> <channel pid> <index> [frame|event]...
// A channel pid of 0 means this process's own id.

#include "ChannelControl.h"
#include "Win32Handles.h"

#include <cwchar>
#include <string>
#include <vector>

using NsWin32::CKernelHandle;

namespace {

// True when `handle` came first; false when the test ended before.
bool WaitUnlessTestEnds(HANDLE test, HANDLE handle)
{
    const HANDLE handles[2] = {test, handle};
    const DWORD result = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    return result == WAIT_OBJECT_0 + 1 || result == WAIT_ABANDONED_0 + 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 6)
        return 1;
    const DWORD testPid = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10));
    const CKernelHandle test(::OpenProcess(SYNCHRONIZE, FALSE, testPid));
    const CKernelHandle take(::OpenEventW(SYNCHRONIZE, FALSE, argv[2]));
    const CKernelHandle held(::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]));
    auto channelPid = static_cast<int32_t>(std::wcstol(argv[4], nullptr, 10));
    if (channelPid == 0)
        channelPid = static_cast<int32_t>(::GetCurrentProcessId());
    const auto index = static_cast<int32_t>(std::wcstol(argv[5], nullptr, 10));
    std::vector<CKernelHandle> mutexes;
    for (int i = 6; i < argc; ++i) {
        const ChannelObject object =
            std::wstring(argv[i]) == L"frame" ? ChannelObject::FrameMutex : ChannelObject::BrowserEventMutex;
        const std::wstring name = CChannelControl::ObjectName(object, channelPid, index);
        mutexes.emplace_back(::CreateMutexW(nullptr, FALSE, name.c_str()));
    }
    if (!test || !take || !held)
        return 1;

    if (!WaitUnlessTestEnds(test.Get(), take.Get()))
        return 0;
    // Taken and never released: ownership ends only with this process.
    for (const CKernelHandle& mutex : mutexes) {
        if (!mutex || !WaitUnlessTestEnds(test.Get(), mutex.Get()))
            return 1;
    }
    ::SetEvent(held.Get());
    ::WaitForSingleObject(test.Get(), INFINITE);
    return 0;
}
