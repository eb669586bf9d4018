// Handing work to a named thread.
#pragma once

#include "include/cef_base.h"

typedef cef_thread_id_t CefThreadId;

class CefTask : public virtual CefBase {
public:
    virtual void Execute() = 0;
};

// True when called on the named thread of this process (TID_UI: the browser process's main
// thread; TID_RENDERER: a render process's main thread).
bool CefCurrentlyOn(CefThreadId threadId);
// Queues |task| for the named thread; tasks run in the order posted. False when the thread
// does not exist in this process or has stopped taking tasks.
bool CefPostTask(CefThreadId threadId, CefRefPtr<CefTask> task);
bool CefPostDelayedTask(CefThreadId threadId, CefRefPtr<CefTask> task, int64 delay_ms);
