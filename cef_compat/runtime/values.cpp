#include "runtime/values.h"

#include "runtime/text.h"

namespace cefcompat {
namespace {
// Grows past the end only within reason: an index is a script's or a message's, not memory.
constexpr int kMaxListSize = 1 << 20;
} // namespace

void CListValueImpl::SetReadOnly()
{
    m_readOnly = true;
    for (Entry& entry : m_entries) {
        if (entry.listValue)
            entry.listValue->SetReadOnly();
    }
}

CefRefPtr<CefListValue> CListValueImpl::Copy()
{
    return DeepCopy(false).get();
}

CefRefPtr<CListValueImpl> CListValueImpl::DeepCopy(bool owned) const
{
    CefRefPtr<CListValueImpl> copy = new CListValueImpl(owned);
    copy->m_entries = m_entries;
    for (Entry& entry : copy->m_entries) {
        if (entry.listValue)
            entry.listValue = entry.listValue->DeepCopy(true);
    }
    return copy;
}

bool CListValueImpl::SetSize(size_t size)
{
    if (m_readOnly || size > static_cast<size_t>(kMaxListSize))
        return false;
    m_entries.resize(size);
    return true;
}

bool CListValueImpl::Clear()
{
    if (m_readOnly)
        return false;
    m_entries.clear();
    return true;
}

bool CListValueImpl::Remove(int index)
{
    if (m_readOnly || !At(index))
        return false;
    m_entries.erase(m_entries.begin() + index);
    return true;
}

const CListValueImpl::Entry* CListValueImpl::At(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size())
        return nullptr;
    return &m_entries[static_cast<size_t>(index)];
}

CListValueImpl::Entry* CListValueImpl::Slot(int index)
{
    if (m_readOnly || index < 0 || index >= kMaxListSize)
        return nullptr;
    if (static_cast<size_t>(index) >= m_entries.size())
        m_entries.resize(static_cast<size_t>(index) + 1);
    Entry& entry = m_entries[static_cast<size_t>(index)];
    entry = Entry();
    return &entry;
}

CefListValue::Type CListValueImpl::GetType(int index)
{
    const Entry* entry = At(index);
    return entry ? entry->type : VTYPE_INVALID;
}

bool CListValueImpl::GetBool(int index)
{
    const Entry* entry = At(index);
    return entry && entry->type == VTYPE_BOOL && entry->boolValue;
}

int CListValueImpl::GetInt(int index)
{
    const Entry* entry = At(index);
    return entry && entry->type == VTYPE_INT ? entry->intValue : 0;
}

double CListValueImpl::GetDouble(int index)
{
    const Entry* entry = At(index);
    if (!entry)
        return 0;
    if (entry->type == VTYPE_DOUBLE)
        return entry->doubleValue;
    return entry->type == VTYPE_INT ? entry->intValue : 0;
}

CefString CListValueImpl::GetString(int index)
{
    const Entry* entry = At(index);
    return entry && entry->type == VTYPE_STRING ? CefString(entry->stringValue) : CefString();
}

CefRefPtr<CefListValue> CListValueImpl::GetList(int index)
{
    const Entry* entry = At(index);
    return entry && entry->type == VTYPE_LIST ? entry->listValue.get() : nullptr;
}

bool CListValueImpl::SetNull(int index)
{
    return Slot(index) != nullptr;
}

bool CListValueImpl::SetBool(int index, bool value)
{
    Entry* entry = Slot(index);
    if (!entry)
        return false;
    entry->type = VTYPE_BOOL;
    entry->boolValue = value;
    return true;
}

bool CListValueImpl::SetInt(int index, int value)
{
    Entry* entry = Slot(index);
    if (!entry)
        return false;
    entry->type = VTYPE_INT;
    entry->intValue = value;
    return true;
}

bool CListValueImpl::SetDouble(int index, double value)
{
    Entry* entry = Slot(index);
    if (!entry)
        return false;
    entry->type = VTYPE_DOUBLE;
    entry->doubleValue = value;
    return true;
}

bool CListValueImpl::SetString(int index, const CefString& value)
{
    Entry* entry = Slot(index);
    if (!entry)
        return false;
    entry->type = VTYPE_STRING;
    entry->stringValue = value.ToWString();
    return true;
}

bool CListValueImpl::SetList(int index, CefRefPtr<CefListValue> value)
{
    auto* impl = dynamic_cast<CListValueImpl*>(value.get());
    // A list cannot hold itself; the value is copied, as a stored list belongs to its parent.
    if (!impl || impl == this)
        return false;
    Entry* entry = Slot(index);
    if (!entry)
        return false;
    entry->type = VTYPE_LIST;
    entry->listValue = impl->DeepCopy(true);
    return true;
}

void CListValueImpl::Write(CWireWriter* writer) const
{
    writer->U32(static_cast<uint32_t>(m_entries.size()));
    for (const Entry& entry : m_entries) {
        writer->U8(static_cast<uint8_t>(entry.type));
        switch (entry.type) {
        case VTYPE_BOOL: writer->Bool(entry.boolValue); break;
        case VTYPE_INT: writer->I32(entry.intValue); break;
        case VTYPE_DOUBLE: writer->F64(entry.doubleValue); break;
        case VTYPE_STRING: writer->Text(entry.stringValue); break;
        case VTYPE_LIST: entry.listValue->Write(writer); break;
        default: break;
        }
    }
}

CefRefPtr<CListValueImpl> CListValueImpl::Read(CWireReader* reader, int depth, bool owned)
{
    uint32_t count = 0;
    if (depth > kMaxWireDepth || !reader->U32(&count) || count > static_cast<uint32_t>(kMaxListSize)) {
        return nullptr;
    }
    CefRefPtr<CListValueImpl> list = new CListValueImpl(owned);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t type = 0;
        if (!reader->U8(&type))
            return nullptr;
        Entry entry;
        entry.type = static_cast<cef_value_type_t>(type);
        bool ok = true;
        switch (entry.type) {
        case VTYPE_NULL: break;
        case VTYPE_BOOL: ok = reader->Bool(&entry.boolValue); break;
        case VTYPE_INT: ok = reader->I32(&entry.intValue); break;
        case VTYPE_DOUBLE: ok = reader->F64(&entry.doubleValue); break;
        case VTYPE_STRING: ok = reader->Text(&entry.stringValue); break;
        case VTYPE_LIST:
            entry.listValue = Read(reader, depth + 1, true);
            ok = entry.listValue != nullptr;
            break;
        default: ok = false; break;
        }
        if (!ok)
            return nullptr;
        list->m_entries.push_back(std::move(entry));
    }
    return list;
}

std::string CListValueImpl::ToText() const
{
    std::vector<std::string> items;
    for (const Entry& entry : m_entries) {
        switch (entry.type) {
        case VTYPE_BOOL: items.push_back(entry.boolValue ? "b:1" : "b:0"); break;
        case VTYPE_INT: items.push_back("i:" + std::to_string(entry.intValue)); break;
        case VTYPE_DOUBLE: items.push_back("d:" + FormatDouble(entry.doubleValue)); break;
        case VTYPE_STRING: items.push_back("s:" + EncodeText(entry.stringValue)); break;
        case VTYPE_LIST: items.push_back("l:" + EncodeText(entry.listValue->ToText())); break;
        default: items.push_back("n"); break;
        }
    }
    return JoinList(items);
}

CefRefPtr<CefProcessMessage> CProcessMessageImpl::Copy()
{
    return new CProcessMessageImpl(m_name, m_arguments->DeepCopy(true));
}

void CProcessMessageImpl::Write(CWireWriter* writer) const
{
    writer->Text(m_name);
    m_arguments->Write(writer);
}

CefRefPtr<CProcessMessageImpl> CProcessMessageImpl::Read(CWireReader* reader)
{
    std::wstring name;
    if (!reader->Text(&name))
        return nullptr;
    CefRefPtr<CListValueImpl> arguments = CListValueImpl::Read(reader, 0, true);
    if (!arguments)
        return nullptr;
    return new CProcessMessageImpl(name, arguments);
}

CProcessMessageImpl* AsProcessMessageImpl(CefRefPtr<CefProcessMessage> message)
{
    return dynamic_cast<CProcessMessageImpl*>(message.get());
}

} // namespace cefcompat

CefRefPtr<CefListValue> CefListValue::Create()
{
    return new cefcompat::CListValueImpl();
}

CefRefPtr<CefProcessMessage> CefProcessMessage::Create(const CefString& name)
{
    return new cefcompat::CProcessMessageImpl(name.ToWString());
}
