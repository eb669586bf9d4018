// Reference counting shared by every object of the API.
#pragma once

#include <atomic>

#include "include/base/cef_build.h"
#include "include/internal/cef_ptr.h"
#include "include/internal/cef_string.h"
#include "include/internal/cef_types.h"
#include "include/internal/cef_types_wrappers.h"
#include "include/internal/cef_win.h"

// Every counted object derives from CefBase (virtually, so that a class implementing several
// interfaces has one count). The last Release destroys the object.
class CefBase {
public:
    // Returns the count after the increment.
    virtual int AddRef() = 0;
    // Returns the count after the decrement; 0 means the object has been destroyed.
    virtual int Release() = 0;
    virtual int GetRefCt() = 0;

protected:
    virtual ~CefBase() {}
};

class CefRefCount {
public:
    CefRefCount() : refct_(0) {}
    CefRefCount(const CefRefCount&) = delete;
    CefRefCount& operator=(const CefRefCount&) = delete;

    int AddRef() { return ++refct_; }
    int Release() { return --refct_; }
    int GetRefCt() { return refct_.load(); }

private:
    std::atomic<int> refct_;
};

// Written without a semicolon after it, as CEF's own macro ends with one:
// `IMPLEMENT_REFCOUNTING(CMyHandler)`.
#define IMPLEMENT_REFCOUNTING(ClassName)                                                                               \
public:                                                                                                                \
    int AddRef() OVERRIDE                                                                                              \
    {                                                                                                                  \
        return refct_.AddRef();                                                                                        \
    }                                                                                                                  \
    int Release() OVERRIDE                                                                                             \
    {                                                                                                                  \
        int retval = refct_.Release();                                                                                 \
        if (retval == 0)                                                                                               \
            delete this;                                                                                               \
        return retval;                                                                                                 \
    }                                                                                                                  \
    int GetRefCt() OVERRIDE                                                                                            \
    {                                                                                                                  \
        return refct_.GetRefCt();                                                                                      \
    }                                                                                                                  \
                                                                                                                       \
private:                                                                                                               \
    CefRefCount refct_;
