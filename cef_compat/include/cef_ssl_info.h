// Certificate information handed with a certificate error.
#pragma once

#include "include/cef_base.h"

class CefSSLInfo : public virtual CefBase {
public:
    virtual CefString GetSubjectName() = 0;
    virtual CefString GetIssuerName() = 0;
};
