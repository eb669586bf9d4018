// Request contexts: the only context here is the global one; null stands for it.
#pragma once

#include "include/cef_base.h"

class CefRequestContext : public virtual CefBase {
public:
    static CefRefPtr<CefRequestContext> GetGlobalContext();

    virtual bool IsSame(CefRefPtr<CefRequestContext> other) = 0;
    virtual bool IsGlobal() = 0;
};
