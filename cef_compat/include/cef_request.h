// A resource request, as seen by the request handler.
#pragma once

#include "include/cef_base.h"

class CefRequest : public virtual CefBase {
public:
    typedef cef_resource_type_t ResourceType;
    typedef cef_transition_type_t TransitionType;

    static CefRefPtr<CefRequest> Create();

    virtual bool IsReadOnly() = 0;
    virtual CefString GetURL() = 0;
    virtual void SetURL(const CefString& url) = 0;
    virtual CefString GetMethod() = 0;
    virtual void SetMethod(const CefString& method) = 0;
    virtual ResourceType GetResourceType() = 0;
    virtual TransitionType GetTransitionType() = 0;
};
