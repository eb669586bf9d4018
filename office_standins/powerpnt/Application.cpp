#include "Application.h"

#include "ComAddIns.h"
#include "Presentation.h"
#include "Presentations.h"
#include "StandinSettings.h"

#include <algorithm>

namespace StandIns {

CComPtr<CApplication> CApplication::Create()
{
    return CComPtr<CApplication>::Adopt(new CApplication);
}

CApplication::~CApplication()
{
    CServerModule::Instance().ApplicationDestroyed(this);
}

STDMETHODIMP CApplication::get_Presentations(Presentations** presentations)
{
    if (!presentations)
        return E_POINTER;
    *presentations = CPresentationsCollection::Create(CComPtr<CApplication>::Share(this)).Detach();
    return S_OK;
}

STDMETHODIMP CApplication::get_Build(BSTR* build)
{
    return CopyToBstr(SStandinSettings::Load().build, build);
}

STDMETHODIMP CApplication::get_Version(BSTR* version)
{
    return CopyToBstr(SStandinSettings::Load().version, version);
}

STDMETHODIMP CApplication::Quit()
{
    const HRESULT injected = SStandinSettings::Load().InjectedResult(EInjectedFailure::Quit);
    if (FAILED(injected))
        return injected;
    // The caller keeps this object alive through the call; the closing presentations let go
    // of it one by one.
    std::vector<CComPtr<CPresentation>> closing = std::move(m_presentations);
    for (const CComPtr<CPresentation>& presentation : closing)
        presentation->Detach();
    CServerModule::Instance().RequestQuit();
    return S_OK;
}

STDMETHODIMP CApplication::get_COMAddIns(COMAddIns** addIns)
{
    if (!addIns)
        return E_POINTER;
    *addIns = nullptr;
    const SStandinSettings settings = SStandinSettings::Load();
    const HRESULT injected = settings.InjectedResult(EInjectedFailure::ComAddIns);
    if (FAILED(injected))
        return injected;
    *addIns = CComAddInsCollection::Create(settings.addIns).Detach();
    return S_OK;
}

CPresentation* CApplication::PresentationAt(long index) const
{
    if (index < 1 || static_cast<size_t>(index) > m_presentations.size())
        return nullptr;
    return m_presentations[static_cast<size_t>(index) - 1].Get();
}

void CApplication::AddPresentation(CComPtr<CPresentation> presentation)
{
    m_presentations.push_back(std::move(presentation));
}

void CApplication::RemovePresentation(const CPresentation* presentation)
{
    const auto found =
        std::find_if(m_presentations.begin(), m_presentations.end(),
                     [presentation](const CComPtr<CPresentation>& open) { return open.Get() == presentation; });
    if (found != m_presentations.end())
        m_presentations.erase(found);
}

std::wstring CApplication::NextUntitledName()
{
    return L"Presentation" + std::to_wstring(++m_untitledCount);
}

} // namespace StandIns
