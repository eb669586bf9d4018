#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "Win32Owners.h"

namespace NsPlatform {

class IMutex {
public:
    virtual ~IMutex() = default;
    // Waits without a time-out; true when this object holds the mutex.
    virtual bool Lock() = 0;
    // True while this object still holds the mutex.
    virtual bool Unlock() = 0;
    // Whether the calling thread could take the mutex at this moment; never holds it
    // afterwards.
    virtual bool IsAvailable() = 0;
};

// A named Win32 mutex in the caller's local namespace of kernel objects, shared by every
// process that opens the same name. Win32 gives ownership to a thread: Lock, Unlock and the
// destruction of one object belong on one thread. The object holds at most one ownership
// count, which its destructor gives back.
class CMutex : public IMutex {
public:
    explicit CMutex(std::wstring name);
    ~CMutex() override;
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    bool Lock() override;
    bool Unlock() override;
    bool IsAvailable() override;

private:
    NsWin32::CKernelHandle m_handle;
    bool m_locked = false;
    DWORD m_owner = 0; // the thread that holds the mutex through this object
};

boost::shared_ptr<IMutex> CreateNamedMutex(std::wstring name);

} // namespace NsPlatform
