// CefListValue and CefProcessMessage, their byte form for the private pipe and their text
// form for the journal.
#pragma once

#include <string>
#include <vector>

#include "include/cef_process_message.h"
#include "include/cef_values.h"
#include "runtime/wire.h"

namespace cefcompat {

class CListValueImpl : public CefListValue {
public:
    explicit CListValueImpl(bool owned = false) : m_owned(owned) {}

    // Recursively: no further change through this list or its nested lists.
    void SetReadOnly();

    bool IsValid() OVERRIDE { return true; }
    bool IsOwned() OVERRIDE { return m_owned; }
    bool IsReadOnly() OVERRIDE { return m_readOnly; }
    CefRefPtr<CefListValue> Copy() OVERRIDE;
    bool SetSize(size_t size) OVERRIDE;
    size_t GetSize() OVERRIDE { return m_entries.size(); }
    bool Clear() OVERRIDE;
    bool Remove(int index) OVERRIDE;
    Type GetType(int index) OVERRIDE;
    bool GetBool(int index) OVERRIDE;
    int GetInt(int index) OVERRIDE;
    double GetDouble(int index) OVERRIDE;
    CefString GetString(int index) OVERRIDE;
    CefRefPtr<CefListValue> GetList(int index) OVERRIDE;
    bool SetNull(int index) OVERRIDE;
    bool SetBool(int index, bool value) OVERRIDE;
    bool SetInt(int index, int value) OVERRIDE;
    bool SetDouble(int index, double value) OVERRIDE;
    bool SetString(int index, const CefString& value) OVERRIDE;
    bool SetList(int index, CefRefPtr<CefListValue> value) OVERRIDE;

    CefRefPtr<CListValueImpl> DeepCopy(bool owned) const;
    void Write(CWireWriter* writer) const;
    static CefRefPtr<CListValueImpl> Read(CWireReader* reader, int depth, bool owned);
    // "s:text,i:3,b:1,d:0.5,n,l:<encoded nested list>", items percent-encoded.
    std::string ToText() const;

private:
    struct Entry {
        cef_value_type_t type = VTYPE_NULL;
        bool boolValue = false;
        int intValue = 0;
        double doubleValue = 0;
        std::wstring stringValue;
        CefRefPtr<CListValueImpl> listValue;
    };

    const Entry* At(int index) const;
    Entry* Slot(int index);

    bool m_owned;
    bool m_readOnly = false;
    std::vector<Entry> m_entries;
    IMPLEMENT_REFCOUNTING(CListValueImpl)
};

class CProcessMessageImpl : public CefProcessMessage {
public:
    explicit CProcessMessageImpl(const std::wstring& name) : m_name(name), m_arguments(new CListValueImpl(true)) {}
    CProcessMessageImpl(const std::wstring& name, CefRefPtr<CListValueImpl> arguments)
        : m_name(name),
          m_arguments(arguments)
    {
    }

    void SetReadOnly() { m_arguments->SetReadOnly(); }
    CefRefPtr<CListValueImpl> Arguments() const { return m_arguments; }
    const std::wstring& Name() const { return m_name; }

    bool IsValid() OVERRIDE { return true; }
    bool IsReadOnly() OVERRIDE { return m_arguments->IsReadOnly(); }
    CefRefPtr<CefProcessMessage> Copy() OVERRIDE;
    CefString GetName() OVERRIDE { return m_name; }
    CefRefPtr<CefListValue> GetArgumentList() OVERRIDE { return m_arguments.get(); }

    void Write(CWireWriter* writer) const;
    static CefRefPtr<CProcessMessageImpl> Read(CWireReader* reader);

private:
    const std::wstring m_name;
    CefRefPtr<CListValueImpl> m_arguments;
    IMPLEMENT_REFCOUNTING(CProcessMessageImpl)
};

// The runtime's own object behind any CefProcessMessage the host hands in, or null.
CProcessMessageImpl* AsProcessMessageImpl(CefRefPtr<CefProcessMessage> message);

} // namespace cefcompat
