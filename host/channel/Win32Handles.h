#pragma once

// The channel's kernel owners: handles and the view of the shared block from the shared owner
// template; a mutex held for one scope; a thread joined before it can outlive what it uses.

#include "Win32Owners.h"

#include <windows.h>

#include <utility>

namespace NsWin32 {

// Ownership of a mutex for one scope. A wait that reports an abandoned mutex has acquired
// it as well: the previous owner ended without releasing it, so this lock must release it.
class CMutexLock {
public:
    CMutexLock(HANDLE mutex, DWORD timeoutMs) : m_mutex(mutex)
    {
        m_owned = Acquired(::WaitForSingleObject(mutex, timeoutMs), WAIT_OBJECT_0);
    }

    // Waits without limit until the mutex is acquired or stopSignal is set; the stop wins
    // when both are ready.
    CMutexLock(HANDLE mutex, HANDLE stopSignal) : m_mutex(mutex)
    {
        const HANDLE handles[2] = {stopSignal, mutex};
        m_owned = Acquired(::WaitForMultipleObjects(2, handles, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    }

    ~CMutexLock()
    {
        if (m_owned)
            ::ReleaseMutex(m_mutex);
    }

    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;

    bool Owns() const { return m_owned; }

private:
    static bool Acquired(DWORD waitResult, DWORD mutexSlot)
    {
        return waitResult == mutexSlot || waitResult == mutexSlot - WAIT_OBJECT_0 + WAIT_ABANDONED_0;
    }

    HANDLE m_mutex;
    bool m_owned = false;
};

// A thread with its handle and id. The owner must make the thread end (a stop signal, a
// closed source) before it joins; destruction joins as a last resort so that a thread never
// outlives what it uses.
class CThreadOwner {
public:
    CThreadOwner() = default;
    ~CThreadOwner() { Join(); }

    CThreadOwner(CThreadOwner&& other) noexcept
        : m_handle(std::move(other.m_handle)),
          m_id(std::exchange(other.m_id, 0))
    {
    }
    CThreadOwner& operator=(CThreadOwner&& other) noexcept
    {
        if (this != &other) {
            Join();
            m_handle = std::move(other.m_handle);
            m_id = std::exchange(other.m_id, 0);
        }
        return *this;
    }
    CThreadOwner(const CThreadOwner&) = delete;
    CThreadOwner& operator=(const CThreadOwner&) = delete;

    bool Start(LPTHREAD_START_ROUTINE routine, void* parameter)
    {
        Join();
        m_handle.Reset(::CreateThread(nullptr, 0, routine, parameter, 0, &m_id));
        if (!m_handle)
            m_id = 0;
        return static_cast<bool>(m_handle);
    }

    // Waits for the thread's end and forgets it. Joining the calling thread itself would
    // never return, so that case only forgets the thread, which then ends on its own.
    void Join()
    {
        if (m_handle && !IsCurrent())
            ::WaitForSingleObject(m_handle.Get(), INFINITE);
        m_handle.Reset();
        m_id = 0;
    }

    bool IsStarted() const { return static_cast<bool>(m_handle); }
    bool IsCurrent() const { return m_handle && m_id == ::GetCurrentThreadId(); }
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_handle.Get(); }

private:
    CKernelHandle m_handle;
    DWORD m_id = 0;
};

} // namespace NsWin32
