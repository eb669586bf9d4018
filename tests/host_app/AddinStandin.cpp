// Plays the add-in's process for the host's watch: it does nothing but live until it is
// killed, or until the test that started it (its process id is the one argument) ends, so
// that it never outlives a failed test.

#include "Win32Handles.h"

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 1;
    const DWORD testPid = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10));
    const NsWin32::CKernelHandle test(::OpenProcess(SYNCHRONIZE, FALSE, testPid));
    if (!test)
        return 1;
    ::WaitForSingleObject(test.Get(), INFINITE);
    return 0;
}
