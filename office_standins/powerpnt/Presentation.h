// One open presentation of the stand-in.
#pragma once

#include "DispatchObject.h"
#include "PresentationExport.h"

#include "PowerPointStandin.h"

namespace StandIns {

class CApplication;

class CPresentation final : public CDispatchObject<_Presentation> {
public:
    static CComPtr<CPresentation> Create(CComPtr<CApplication> application, std::wstring fullName,
                                         SPresentationContent content);

    STDMETHODIMP get_FullName(BSTR* fullName) override;
    STDMETHODIMP SaveAs(BSTR fileName, PpSaveAsFileType fileFormat, MsoTriState embedTrueTypeFonts) override;
    STDMETHODIMP Close() override;

    // Leaves the application without the application's involvement (it is closing everything).
    void Detach();

    STANDIN_UNUSED_SLOT(07)
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
    STANDIN_UNUSED_SLOT(21)
    STANDIN_UNUSED_SLOT(22)
    STANDIN_UNUSED_SLOT(23)
    STANDIN_UNUSED_SLOT(24)
    STANDIN_UNUSED_SLOT(25)
    STANDIN_UNUSED_SLOT(26)
    STANDIN_UNUSED_SLOT(27)
    STANDIN_UNUSED_SLOT(28)
    STANDIN_UNUSED_SLOT(29)
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
    STANDIN_UNUSED_SLOT(45)
    STANDIN_UNUSED_SLOT(46)

private:
    CPresentation(CComPtr<CApplication> application, std::wstring fullName, SPresentationContent content);

    CComPtr<CApplication> m_application; // empty once closed
    std::wstring m_fullName;
    SPresentationContent m_content;
};

} // namespace StandIns
