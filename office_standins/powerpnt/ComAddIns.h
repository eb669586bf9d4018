// The COM add-ins that the stand-in reports, as configured when the collection was fetched.
#pragma once

#include "DispatchObject.h"
#include "StandinSettings.h"

#include "PowerPointStandin.h"

#include <vector>

namespace StandIns {

class CComAddInsCollection final : public CDispatchObject<COMAddIns> {
public:
    static CComPtr<CComAddInsCollection> Create(std::vector<SComAddInSetting> addIns);

    // index: a number counting from 1, or a ProgId.
    STDMETHODIMP Item(VARIANT* index, COMAddIn** addIn) override;
    STDMETHODIMP get_Count(long* count) override;

    STANDIN_UNUSED_SLOT(07)
    STANDIN_UNUSED_SLOT(08)

private:
    explicit CComAddInsCollection(std::vector<SComAddInSetting> addIns);

    const SComAddInSetting* Find(const VARIANT& index) const;

    std::vector<SComAddInSetting> m_addIns;
};

class CComAddInEntry final : public CDispatchObject<COMAddIn> {
public:
    static CComPtr<CComAddInEntry> Create(SComAddInSetting setting);

    STDMETHODIMP get_ProgId(BSTR* progId) override;
    STDMETHODIMP get_Guid(BSTR* guid) override;
    STDMETHODIMP get_Connect(VARIANT_BOOL* connected) override;

    STANDIN_UNUSED_SLOT(07)
    STANDIN_UNUSED_SLOT(08)
    STANDIN_UNUSED_SLOT(09)
    STANDIN_UNUSED_SLOT(10)

private:
    explicit CComAddInEntry(SComAddInSetting setting);

    SComAddInSetting m_setting;
};

} // namespace StandIns
