// The threads that the API's thread ids name in this process (TID_UI in the browser process,
// TID_RENDERER in a render process), and a real access violation on request.
#pragma once

#include <cstdint>

#include "include/internal/cef_types.h"
#include "runtime/task_queue.h"

namespace cefcompat {

// |queue| null removes the thread; the queue must outlive its registration.
void SetThreadQueue(cef_thread_id_t id, CTaskQueue* queue);
bool PostToThread(cef_thread_id_t id, CTaskQueue::Task task, int64_t delayMs);
bool IsOnThread(cef_thread_id_t id);

// Writes through a null pointer the compiler cannot see through: the process's own
// unhandled-exception filter gets a genuine EXCEPTION_ACCESS_VIOLATION.
void CrashWithAccessViolation();

} // namespace cefcompat
