#include "runtime/process_state.h"

#include <map>
#include <mutex>

namespace cefcompat {
namespace {

struct CThreadRegistry {
    std::mutex mutex;
    std::map<cef_thread_id_t, CTaskQueue*> queues;
};

CThreadRegistry& Registry()
{
    static CThreadRegistry registry;
    return registry;
}

volatile uintptr_t g_crashAddress = 0;

} // namespace

void SetThreadQueue(cef_thread_id_t id, CTaskQueue* queue)
{
    CThreadRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (queue)
        registry.queues[id] = queue;
    else
        registry.queues.erase(id);
}

bool PostToThread(cef_thread_id_t id, CTaskQueue::Task task, int64_t delayMs)
{
    CThreadRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.queues.find(id);
    if (it == registry.queues.end())
        return false;
    return it->second->PostDelayed(std::move(task), delayMs);
}

bool IsOnThread(cef_thread_id_t id)
{
    CThreadRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.queues.find(id);
    return it != registry.queues.end() && it->second->IsCurrentThread();
}

void CrashWithAccessViolation()
{
    *reinterpret_cast<volatile int*>(g_crashAddress) = 1;
}

} // namespace cefcompat
