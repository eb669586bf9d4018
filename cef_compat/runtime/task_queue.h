// Work handed to one thread (the UI thread of the browser process, the main thread of a
// render process) through a message-only window, so it also runs inside modal loops.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "Win32Owners.h"

namespace cefcompat {

class CTaskQueue {
public:
    using Task = std::function<void()>;

    // Creates the queue's window; call on the thread that will run the tasks.
    CTaskQueue();
    CTaskQueue(const CTaskQueue&) = delete;
    CTaskQueue& operator=(const CTaskQueue&) = delete;
    // Call on the owning thread, after Close.
    ~CTaskQueue();

    bool IsValid() const { return m_window.IsValid(); }
    DWORD ThreadId() const { return m_threadId; }
    bool IsCurrentThread() const { return GetCurrentThreadId() == m_threadId; }

    // Any thread. Tasks run in the order posted; false once the queue is closed.
    bool Post(Task task);
    bool PostDelayed(Task task, int64_t delayMs);
    // Owning thread: refuses new tasks and drops the pending ones (without running them).
    void Close();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void RunPending();
    void RunDueDelayed();
    void ArmTimer();

    const DWORD m_threadId;
    NsWin32::CWindow m_window;

    std::mutex m_mutex;
    std::deque<Task> m_pending;
    bool m_wakePosted = false;
    bool m_closed = false;
    // Owning thread only: delayed tasks by due tick, in posting order for equal ticks.
    std::multimap<uint64_t, Task> m_delayed;
};

} // namespace cefcompat
