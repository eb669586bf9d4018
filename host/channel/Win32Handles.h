#pragma once

// Small single-owner wrappers for kernel resources: each releases what it owns exactly once,
// can be moved and cannot be copied.

#include <windows.h>

#include <utility>

namespace NsWin32 {

// Which value means "no handle" differs by API: CreateFile and CreateNamedPipe report failure
// with INVALID_HANDLE_VALUE, the other creators with null.
struct NullHandleTraits {
    static HANDLE Invalid() { return nullptr; }
};
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
};

template <typename Traits>
class CHandleOwner {
public:
    CHandleOwner() = default;
    explicit CHandleOwner(HANDLE handle) : m_handle(handle) {}
    ~CHandleOwner() { Reset(); }

    CHandleOwner(CHandleOwner&& other) noexcept : m_handle(other.Release()) {}
    CHandleOwner& operator=(CHandleOwner&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    CHandleOwner(const CHandleOwner&) = delete;
    CHandleOwner& operator=(const CHandleOwner&) = delete;

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    void Reset(HANDLE handle = Traits::Invalid())
    {
        if (IsValid())
            ::CloseHandle(m_handle);
        m_handle = handle;
    }

    HANDLE Release() { return std::exchange(m_handle, Traits::Invalid()); }

private:
    HANDLE m_handle = Traits::Invalid();
};

using CScopedHandle = CHandleOwner<NullHandleTraits>;
using CScopedFileHandle = CHandleOwner<FileHandleTraits>;

// A view of a file mapping, unmapped on destruction.
class CMappedView {
public:
    CMappedView() = default;
    explicit CMappedView(void* view) : m_view(view) {}
    ~CMappedView() { Reset(); }

    CMappedView(CMappedView&& other) noexcept : m_view(std::exchange(other.m_view, nullptr)) {}
    CMappedView& operator=(CMappedView&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.m_view, nullptr));
        return *this;
    }
    CMappedView(const CMappedView&) = delete;
    CMappedView& operator=(const CMappedView&) = delete;

    unsigned char* Bytes() const { return static_cast<unsigned char*>(m_view); }
    explicit operator bool() const { return m_view != nullptr; }

    void Reset(void* view = nullptr)
    {
        if (m_view)
            ::UnmapViewOfFile(m_view);
        m_view = view;
    }

private:
    void* m_view = nullptr;
};

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
        : m_handle(std::move(other.m_handle)), m_id(std::exchange(other.m_id, 0))
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
    CScopedHandle m_handle;
    DWORD m_id = 0;
};

} // namespace NsWin32
