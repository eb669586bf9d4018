#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "TestTime.h"
#include "platform/Mutex.h"

using NsPlatform::CreateNamedMutex;
using NsWin32::CKernelHandle;

namespace {

// A safety net against a helper that hangs; nothing in these tests waits for time to pass.
const DWORD kHelperTimeoutMs = NsTestSupport::ScaledMs(30000);

std::wstring UniqueMutexName()
{
    static int counter = 0;
    return L"slidewarp-test-mutex-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

std::wstring HelperPath()
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return path.substr(0, path.rfind(L'\\') + 1) + L"NamedMutexHolder.exe";
}

CKernelHandle StartHelper(const std::wstring& mode, const std::wstring& name)
{
    std::wstring commandLine = L"\"" + HelperPath() + L"\" " + mode + L" " + name;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start the helper, error " << GetLastError();
        return CKernelHandle();
    }
    CloseHandle(process.hThread);
    return CKernelHandle(process.hProcess);
}

DWORD WaitForExit(const CKernelHandle& process)
{
    EXPECT_EQ(WaitForSingleObject(process.Get(), kHelperTimeoutMs), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

// Asks another process whether it could take the mutex now.
bool AvailableToAnotherProcess(const std::wstring& name)
{
    const auto helper = StartHelper(L"probe", name);
    return helper && WaitForExit(helper) == 1;
}

// A helper process that holds the mutex until told to let go.
class CHolder {
public:
    explicit CHolder(const std::wstring& name)
        : m_ready(CreateEventW(nullptr, FALSE, FALSE, (name + L"-ready").c_str())),
          m_go(CreateEventW(nullptr, FALSE, FALSE, (name + L"-go").c_str())),
          m_process(StartHelper(L"hold", name))
    {
    }

    // Waits until the helper reports its next step; false if it ended instead.
    bool WaitReady()
    {
        const HANDLE handles[] = {m_ready.Get(), m_process.Get()};
        return WaitForMultipleObjects(2, handles, FALSE, kHelperTimeoutMs) == WAIT_OBJECT_0;
    }
    void Go() { SetEvent(m_go.Get()); }
    const CKernelHandle& Process() const { return m_process; }

private:
    CKernelHandle m_ready;
    CKernelHandle m_go;
    CKernelHandle m_process;
};

} // namespace

TEST(NamedMutex, LockInOneProcessIsSeenByAnother)
{
    const auto name = UniqueMutexName();
    auto mutex = CreateNamedMutex(name);
    EXPECT_TRUE(mutex->IsAvailable());
    EXPECT_TRUE(AvailableToAnotherProcess(name));

    ASSERT_TRUE(mutex->Lock());
    EXPECT_FALSE(AvailableToAnotherProcess(name));
    EXPECT_FALSE(mutex->Unlock());
    EXPECT_TRUE(AvailableToAnotherProcess(name));
}

TEST(NamedMutex, ReleasingTheLastPointerFreesTheMutex)
{
    const auto name = UniqueMutexName();
    CHolder holder(name);
    ASSERT_TRUE(holder.WaitReady());
    auto mutex = CreateNamedMutex(name);
    EXPECT_FALSE(mutex->IsAvailable());

    holder.Go();
    ASSERT_TRUE(holder.WaitReady());
    // The holder is still running: only the destruction of its lock object freed the mutex.
    EXPECT_TRUE(mutex->IsAvailable());
    holder.Go();
    EXPECT_EQ(WaitForExit(holder.Process()), 0u);
}

TEST(NamedMutex, MutexOfAnEndedOwnerCanBeTaken)
{
    const auto name = UniqueMutexName();
    CHolder holder(name);
    ASSERT_TRUE(holder.WaitReady());
    auto mutex = CreateNamedMutex(name);
    EXPECT_FALSE(mutex->IsAvailable());

    TerminateProcess(holder.Process().Get(), 0);
    WaitForExit(holder.Process());
    EXPECT_TRUE(mutex->IsAvailable());
    EXPECT_TRUE(mutex->Lock());
    EXPECT_FALSE(AvailableToAnotherProcess(name));
}

TEST(NamedMutex, UnlockWithoutLockChangesNothing)
{
    const auto name = UniqueMutexName();
    auto owner = CreateNamedMutex(name);
    auto other = CreateNamedMutex(name);
    EXPECT_FALSE(other->Unlock());

    ASSERT_TRUE(owner->Lock());
    // Same thread, but the other object does not hold the mutex: it must not free it.
    EXPECT_FALSE(other->Unlock());
    EXPECT_FALSE(AvailableToAnotherProcess(name));
}

TEST(NamedMutex, RepeatedLockIsUndoneByOneRelease)
{
    const auto name = UniqueMutexName();
    auto mutex = CreateNamedMutex(name);
    ASSERT_TRUE(mutex->Lock());
    ASSERT_TRUE(mutex->Lock());
    mutex.reset();
    EXPECT_TRUE(AvailableToAnotherProcess(name));
}

TEST(NamedMutexDeathTest, AnUnlockOnAnotherThreadThanTheLockStopsTheProcess)
{
    const auto name = UniqueMutexName();
    EXPECT_DEATH(
        {
            auto mutex = CreateNamedMutex(name);
            if (mutex->Lock())
                std::thread([&mutex] { mutex->Unlock(); }).join();
        },
        "Mutex\\.cpp\\(\\d+\\): Check failed");
}

TEST(NamedMutex, MutexThatCannotBeCreatedIsNeverAvailable)
{
    // Backslashes are reserved for namespaces: no mutex can have this name.
    auto mutex = CreateNamedMutex(L"no\\such\\namespace\\mutex");
    EXPECT_FALSE(mutex->IsAvailable());
    EXPECT_FALSE(mutex->Lock());
}
