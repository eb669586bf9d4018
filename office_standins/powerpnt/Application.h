// The application object of the stand-in: one per process, shared by every client, holding
// the open presentations in the order they were opened.
#pragma once

#include "DispatchObject.h"

#include "PowerPointStandin.h"

#include <string>
#include <vector>

namespace StandIns {

class CPresentation;

class CApplication final : public CDispatchObject<_Application> {
public:
    static CComPtr<CApplication> Create();

    STDMETHODIMP get_Presentations(Presentations** presentations) override;
    STDMETHODIMP get_Build(BSTR* build) override;
    STDMETHODIMP get_Version(BSTR* version) override;
    STDMETHODIMP Quit() override;
    STDMETHODIMP get_COMAddIns(COMAddIns** addIns) override;

    size_t PresentationCount() const { return m_presentations.size(); }
    // index counts from 1, as the collection does; null when out of range.
    CPresentation* PresentationAt(long index) const;
    void AddPresentation(CComPtr<CPresentation> presentation);
    void RemovePresentation(const CPresentation* presentation);
    // "Presentation1", "Presentation2", ... for documents without a file.
    std::wstring NextUntitledName();

    STANDIN_UNUSED_SLOT(08)
    STANDIN_UNUSED_SLOT(09)
    STANDIN_UNUSED_SLOT(10)
    STANDIN_UNUSED_SLOT(11)
    STANDIN_UNUSED_SLOT(12)
    STANDIN_UNUSED_SLOT(13)
    STANDIN_UNUSED_SLOT(14)
    STANDIN_UNUSED_SLOT(15)
    STANDIN_UNUSED_SLOT(16)
    STANDIN_UNUSED_SLOT(17)
    STANDIN_UNUSED_SLOT(18)
    STANDIN_UNUSED_SLOT(19)
    STANDIN_UNUSED_SLOT(20)
    STANDIN_UNUSED_SLOT(23)
    STANDIN_UNUSED_SLOT(24)
    STANDIN_UNUSED_SLOT(25)
    STANDIN_UNUSED_SLOT(26)
    STANDIN_UNUSED_SLOT(27)
    STANDIN_UNUSED_SLOT(28)
    STANDIN_UNUSED_SLOT(30)
    STANDIN_UNUSED_SLOT(31)
    STANDIN_UNUSED_SLOT(32)
    STANDIN_UNUSED_SLOT(33)
    STANDIN_UNUSED_SLOT(34)
    STANDIN_UNUSED_SLOT(35)
    STANDIN_UNUSED_SLOT(36)
    STANDIN_UNUSED_SLOT(37)
    STANDIN_UNUSED_SLOT(38)
    STANDIN_UNUSED_SLOT(39)
    STANDIN_UNUSED_SLOT(40)
    STANDIN_UNUSED_SLOT(41)
    STANDIN_UNUSED_SLOT(42)
    STANDIN_UNUSED_SLOT(43)
    STANDIN_UNUSED_SLOT(44)
    STANDIN_UNUSED_SLOT(45)
    STANDIN_UNUSED_SLOT(46)
    STANDIN_UNUSED_SLOT(47)
    STANDIN_UNUSED_SLOT(48)

private:
    CApplication() = default;
    ~CApplication() override;

    // Open presentations hold the application in turn, so it stays while any is open.
    std::vector<CComPtr<CPresentation>> m_presentations;
    unsigned m_untitledCount = 0;
};

} // namespace StandIns
