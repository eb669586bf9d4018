#include "Mutex.h"

#include "DebugCheck.h"

#include <boost/make_shared.hpp>

namespace NsPlatform {

namespace {

// An abandoned mutex (its owner ended without releasing it) is handed to the waiter, who
// now owns it like after a normal wait.
bool WaitTookMutex(DWORD waitResult)
{
    return waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED;
}

} // namespace

CMutex::CMutex(std::wstring name) : m_handle(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str()))
{
    if (!m_handle)
        m_handle.Reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
}

CMutex::~CMutex()
{
    Unlock();
}

bool CMutex::Lock()
{
    // A second wait by the same owner would add an ownership count that nothing gives back.
    if (m_locked || !m_handle)
        return m_locked;
    m_locked = WaitTookMutex(::WaitForSingleObject(m_handle.Get(), INFINITE));
    if (m_locked)
        m_owner = ::GetCurrentThreadId();
    return m_locked;
}

bool CMutex::Unlock()
{
    // Releasing without holding it through this object would give away an ownership count
    // that the thread holds for someone else; on another thread the release would fail and
    // the mutex stay held until that thread ends.
    if (!m_locked)
        return false;
    DEBUG_CHECK(::GetCurrentThreadId() == m_owner);
    if (::ReleaseMutex(m_handle.Get()))
        m_locked = false;
    return m_locked;
}

bool CMutex::IsAvailable()
{
    if (!m_handle || !WaitTookMutex(::WaitForSingleObject(m_handle.Get(), 0)))
        return false;
    ::ReleaseMutex(m_handle.Get());
    return true;
}

boost::shared_ptr<IMutex> CreateNamedMutex(std::wstring name)
{
    return boost::make_shared<CMutex>(std::move(name));
}

} // namespace NsPlatform
