#pragma once

// The calling thread as CEF's UI thread for one scope, as the runtime makes the thread that
// calls CefInitialize: a test may then call the window's UI-thread handlers directly, with
// their thread checks on. Tasks posted to the UI thread meanwhile are dropped at the end.

#include "runtime/process_state.h"
#include "runtime/task_queue.h"

namespace NsHostTest {

class CUiThreadScope {
public:
    CUiThreadScope() { cefcompat::SetThreadQueue(TID_UI, &m_queue); }
    ~CUiThreadScope()
    {
        cefcompat::SetThreadQueue(TID_UI, nullptr);
        m_queue.Close();
    }

    CUiThreadScope(const CUiThreadScope&) = delete;
    CUiThreadScope& operator=(const CUiThreadScope&) = delete;

private:
    cefcompat::CTaskQueue m_queue;
};

} // namespace NsHostTest
