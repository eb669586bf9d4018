#include "Presentations.h"

#include "Application.h"
#include "Presentation.h"
#include "StandinSettings.h"

#include "../common/FilePaths.h"

namespace StandIns {

namespace {

// Bigger presentations than this are not worth standing in for.
constexpr LONGLONG kMaxPresentationBytes = 512LL * 1024 * 1024;

} // namespace

CComPtr<CPresentationsCollection> CPresentationsCollection::Create(CComPtr<CApplication> application)
{
    return CComPtr<CPresentationsCollection>::Adopt(new CPresentationsCollection(std::move(application)));
}

CPresentationsCollection::CPresentationsCollection(CComPtr<CApplication> application)
    : m_application(std::move(application))
{
}

STDMETHODIMP CPresentationsCollection::get_Count(long* count)
{
    if (!count)
        return E_POINTER;
    const HRESULT injected = SStandinSettings::Load().InjectedResult(EInjectedFailure::Count);
    if (FAILED(injected))
        return injected;
    *count = static_cast<long>(m_application->PresentationCount());
    return S_OK;
}

STDMETHODIMP CPresentationsCollection::Item(VARIANT index, _Presentation** presentation)
{
    if (!presentation)
        return E_POINTER;
    *presentation = nullptr;
    const HRESULT injected = SStandinSettings::Load().InjectedResult(EInjectedFailure::Item);
    if (FAILED(injected))
        return injected;
    VARIANT number;
    VariantInit(&number);
    const HRESULT hr = VariantChangeType(&number, &index, 0, VT_I4);
    if (FAILED(hr))
        return hr;
    CPresentation* found = m_application->PresentationAt(number.lVal);
    if (!found)
        return DISP_E_BADINDEX;
    *presentation = CComPtr<CPresentation>::Share(found).Detach();
    return S_OK;
}

STDMETHODIMP CPresentationsCollection::Add(MsoTriState, _Presentation** presentation)
{
    if (!presentation)
        return E_POINTER;
    *presentation = nullptr;
    const HRESULT injected = SStandinSettings::Load().InjectedResult(EInjectedFailure::Add);
    if (FAILED(injected))
        return injected;
    CComPtr<CPresentation> added =
        CPresentation::Create(m_application.Share(), m_application->NextUntitledName(), SPresentationContent());
    m_application->AddPresentation(added.Share());
    *presentation = added.Detach();
    return S_OK;
}

STDMETHODIMP CPresentationsCollection::Open(BSTR fileName, MsoTriState, MsoTriState untitled, MsoTriState,
                                            _Presentation** presentation)
{
    if (!presentation)
        return E_POINTER;
    *presentation = nullptr;
    if (!fileName || SysStringLen(fileName) == 0)
        return E_INVALIDARG;
    if (SStandinSettings::Load().openReturnsNothing)
        return S_OK;
    const std::wstring path = FullPathOf(std::wstring(fileName, SysStringLen(fileName)));
    if (path.empty())
        return E_INVALIDARG;
    SPresentationContent content;
    content.extension = ExtensionOf(path);
    const HRESULT hr = ReadWholeFile(path, kMaxPresentationBytes, content.bytes);
    if (FAILED(hr))
        return hr;
    std::wstring fullName = untitled == msoTrue ? m_application->NextUntitledName() : path;
    CComPtr<CPresentation> opened =
        CPresentation::Create(m_application.Share(), std::move(fullName), std::move(content));
    m_application->AddPresentation(opened.Share());
    *presentation = opened.Detach();
    return S_OK;
}

} // namespace StandIns
