// Messages between the browser process and a renderer process.
#pragma once

#include "include/cef_base.h"
#include "include/cef_values.h"

typedef cef_process_id_t CefProcessId;

class CefProcessMessage : public virtual CefBase {
public:
    static CefRefPtr<CefProcessMessage> Create(const CefString& name);

    virtual bool IsValid() = 0;
    // A message becomes read-only once it has been sent or when it was received.
    virtual bool IsReadOnly() = 0;
    virtual CefRefPtr<CefProcessMessage> Copy() = 0;
    virtual CefString GetName() = 0;
    virtual CefRefPtr<CefListValue> GetArgumentList() = 0;
};
