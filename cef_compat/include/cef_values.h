// Lists of simple values, as carried by process messages.
#pragma once

#include "include/cef_base.h"

// A list of values addressed by index. Supported entry types: null, bool, int, double,
// string and nested list.
class CefListValue : public virtual CefBase {
public:
    typedef cef_value_type_t Type;

    static CefRefPtr<CefListValue> Create();

    virtual bool IsValid() = 0;
    virtual bool IsOwned() = 0;
    virtual bool IsReadOnly() = 0;
    virtual CefRefPtr<CefListValue> Copy() = 0;
    virtual bool SetSize(size_t size) = 0;
    virtual size_t GetSize() = 0;
    virtual bool Clear() = 0;
    virtual bool Remove(int index) = 0;
    virtual Type GetType(int index) = 0;
    virtual bool GetBool(int index) = 0;
    virtual int GetInt(int index) = 0;
    virtual double GetDouble(int index) = 0;
    virtual CefString GetString(int index) = 0;
    virtual CefRefPtr<CefListValue> GetList(int index) = 0;
    // Setting an index past the end grows the list, filling the gap with nulls.
    virtual bool SetNull(int index) = 0;
    virtual bool SetBool(int index, bool value) = 0;
    virtual bool SetInt(int index, int value) = 0;
    virtual bool SetDouble(int index, double value) = 0;
    virtual bool SetString(int index, const CefString& value) = 0;
    virtual bool SetList(int index, CefRefPtr<CefListValue> value) = 0;
};
