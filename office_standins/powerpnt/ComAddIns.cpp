#include "ComAddIns.h"

namespace StandIns {

CComPtr<CComAddInsCollection> CComAddInsCollection::Create(std::vector<SComAddInSetting> addIns)
{
    return CComPtr<CComAddInsCollection>::Adopt(new CComAddInsCollection(std::move(addIns)));
}

CComAddInsCollection::CComAddInsCollection(std::vector<SComAddInSetting> addIns) : m_addIns(std::move(addIns)) {}

STDMETHODIMP CComAddInsCollection::Item(VARIANT* index, COMAddIn** addIn)
{
    if (!index || !addIn)
        return E_POINTER;
    *addIn = nullptr;
    const SComAddInSetting* found = Find(*index);
    if (!found)
        return DISP_E_BADINDEX;
    *addIn = CComAddInEntry::Create(*found).Detach();
    return S_OK;
}

STDMETHODIMP CComAddInsCollection::get_Count(long* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<long>(m_addIns.size());
    return S_OK;
}

const SComAddInSetting* CComAddInsCollection::Find(const VARIANT& index) const
{
    VARIANT key;
    VariantInit(&key);
    if (SUCCEEDED(VariantChangeType(&key, const_cast<VARIANT*>(&index), 0, VT_I4))) {
        const long number = key.lVal;
        return number >= 1 && static_cast<size_t>(number) <= m_addIns.size()
                   ? &m_addIns[static_cast<size_t>(number) - 1]
                   : nullptr;
    }
    if (V_VT(&index) != VT_BSTR || !V_BSTR(&index))
        return nullptr;
    for (const SComAddInSetting& addIn : m_addIns) {
        if (_wcsicmp(addIn.progId.c_str(), V_BSTR(&index)) == 0)
            return &addIn;
    }
    return nullptr;
}

CComPtr<CComAddInEntry> CComAddInEntry::Create(SComAddInSetting setting)
{
    return CComPtr<CComAddInEntry>::Adopt(new CComAddInEntry(std::move(setting)));
}

CComAddInEntry::CComAddInEntry(SComAddInSetting setting) : m_setting(std::move(setting)) {}

STDMETHODIMP CComAddInEntry::get_ProgId(BSTR* progId)
{
    return CopyToBstr(m_setting.progId, progId);
}

STDMETHODIMP CComAddInEntry::get_Guid(BSTR* guid)
{
    return CopyToBstr(m_setting.guid, guid);
}

STDMETHODIMP CComAddInEntry::get_Connect(VARIANT_BOOL* connected)
{
    if (!connected)
        return E_POINTER;
    *connected = m_setting.connected ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

} // namespace StandIns
