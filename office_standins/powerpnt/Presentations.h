// The Presentations collection: a view of the application's open presentations.
#pragma once

#include "DispatchObject.h"

#include "PowerPointStandin.h"

namespace StandIns {

class CApplication;

class CPresentationsCollection final : public CDispatchObject<Presentations> {
public:
    static CComPtr<CPresentationsCollection> Create(CComPtr<CApplication> application);

    STDMETHODIMP get_Count(long* count) override;
    STDMETHODIMP Item(VARIANT index, _Presentation** presentation) override;
    STDMETHODIMP Add(MsoTriState withWindow, _Presentation** presentation) override;
    STDMETHODIMP Open(BSTR fileName, MsoTriState readOnly, MsoTriState untitled, MsoTriState withWindow,
                      _Presentation** presentation) override;

    STANDIN_UNUSED_SLOT(07)
    STANDIN_UNUSED_SLOT(08)
    STANDIN_UNUSED_SLOT(10)
    STANDIN_UNUSED_SLOT(11)
    STANDIN_UNUSED_SLOT(14)

private:
    explicit CPresentationsCollection(CComPtr<CApplication> application);

    CComPtr<CApplication> m_application;
};

} // namespace StandIns
