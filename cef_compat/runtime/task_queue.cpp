#include "runtime/task_queue.h"

#include <utility>

namespace cefcompat {
namespace {

const wchar_t kWindowClass[] = L"CefCompatTaskWindow";
const UINT kRunMessage = WM_APP + 1;
const UINT_PTR kDelayTimer = 1;

ATOM RegisterTaskWindowClass(WNDPROC proc)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc);
}

uint64_t NowMs()
{
    // GetTickCount wraps every 49 days; extend it to 64 bits on the owning thread.
    static DWORD last = GetTickCount();
    static uint64_t high = 0;
    const DWORD now = GetTickCount();
    if (now < last)
        high += 0x100000000ULL;
    last = now;
    return high + now;
}

} // namespace

CTaskQueue::CTaskQueue() : m_threadId(GetCurrentThreadId())
{
    static const ATOM atom = RegisterTaskWindowClass(&CTaskQueue::WindowProc);
    if (!atom)
        return;
    m_window.Reset(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleW(nullptr), nullptr));
    if (m_window)
        SetWindowLongPtrW(m_window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CTaskQueue::~CTaskQueue()
{
    Close();
}

bool CTaskQueue::Post(Task task)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || !m_window)
        return false;
    m_pending.push_back(std::move(task));
    if (!m_wakePosted) {
        if (!PostMessageW(m_window.Get(), kRunMessage, 0, 0)) {
            m_pending.pop_back();
            return false;
        }
        m_wakePosted = true;
    }
    return true;
}

bool CTaskQueue::PostDelayed(Task task, int64_t delayMs)
{
    if (delayMs <= 0)
        return Post(std::move(task));
    // The timer belongs to the owning thread, so the delayed entry is filed there.
    return Post([this, task = std::move(task), delayMs]() mutable {
        m_delayed.emplace(NowMs() + static_cast<uint64_t>(delayMs), std::move(task));
        ArmTimer();
    });
}

void CTaskQueue::Close()
{
    std::deque<Task> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        dropped.swap(m_pending);
    }
    m_delayed.clear();
    if (m_window) {
        KillTimer(m_window.Get(), kDelayTimer);
        SetWindowLongPtrW(m_window.Get(), GWLP_USERDATA, 0);
        m_window.Reset();
    }
}

LRESULT CALLBACK CTaskQueue::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CTaskQueue*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == kRunMessage) {
        self->RunPending();
        return 0;
    }
    if (self && message == WM_TIMER && wParam == kDelayTimer) {
        self->RunDueDelayed();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void CTaskQueue::RunPending()
{
    // Tasks are taken one at a time, so that a nested message loop inside a task keeps the
    // order; only those queued now run in this turn, so window messages are not starved.
    size_t budget;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wakePosted = false;
        budget = m_pending.size();
    }
    for (; budget > 0; --budget) {
        Task task;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_closed || m_pending.empty())
                return;
            task = std::move(m_pending.front());
            m_pending.pop_front();
        }
        task();
    }
}

void CTaskQueue::RunDueDelayed()
{
    const uint64_t now = NowMs();
    while (!m_delayed.empty() && m_delayed.begin()->first <= now) {
        Task task = std::move(m_delayed.begin()->second);
        m_delayed.erase(m_delayed.begin());
        task();
        if (!m_window)
            return;
    }
    ArmTimer();
}

void CTaskQueue::ArmTimer()
{
    if (!m_window)
        return;
    if (m_delayed.empty()) {
        KillTimer(m_window.Get(), kDelayTimer);
        return;
    }
    const uint64_t now = NowMs();
    const uint64_t due = m_delayed.begin()->first;
    const UINT wait = due > now ? static_cast<UINT>(due - now) : USER_TIMER_MINIMUM;
    SetTimer(m_window.Get(), kDelayTimer, wait, nullptr);
}

} // namespace cefcompat
