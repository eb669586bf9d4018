#include "Presentation.h"

#include "Application.h"
#include "CompoundFile.h"
#include "StandinSettings.h"

#include "../common/FilePaths.h"

namespace StandIns {

namespace {

// What the real program answers for an object whose document has been closed.
constexpr HRESULT kPresentationClosed = RPC_E_DISCONNECTED;

// Leaves a torn file behind and ends the process without any clean-up: no reply to the
// caller, no revoked class object, as when the real program crashes in the middle of a save.
[[noreturn]] void CrashWhileSaving(const std::wstring& target, DWORD exitCode)
{
    std::vector<BYTE> bytes = BuildEmptyCompoundFile();
    bytes.resize(bytes.size() / 2);
    WriteWholeFile(target, bytes);
    ExitProcess(exitCode);
}

} // namespace

CComPtr<CPresentation> CPresentation::Create(CComPtr<CApplication> application, std::wstring fullName,
                                             SPresentationContent content)
{
    return CComPtr<CPresentation>::Adopt(
        new CPresentation(std::move(application), std::move(fullName), std::move(content)));
}

CPresentation::CPresentation(CComPtr<CApplication> application, std::wstring fullName, SPresentationContent content)
    : m_application(std::move(application)),
      m_fullName(std::move(fullName)),
      m_content(std::move(content))
{
}

STDMETHODIMP CPresentation::get_FullName(BSTR* fullName)
{
    const HRESULT injected = SStandinSettings::Load().InjectedResult(EInjectedFailure::FullName);
    if (FAILED(injected))
        return injected;
    if (!m_application)
        return kPresentationClosed;
    return CopyToBstr(m_fullName, fullName);
}

STDMETHODIMP CPresentation::SaveAs(BSTR fileName, PpSaveAsFileType fileFormat, MsoTriState)
{
    if (!m_application)
        return kPresentationClosed;
    if (!fileName || SysStringLen(fileName) == 0)
        return E_INVALIDARG;
    // The stand-in writes one format only, the one that callers convert into.
    if (fileFormat != ppSaveAsPresentation)
        return E_NOTIMPL;
    const SStandinSettings settings = SStandinSettings::Load();
    if (FAILED(settings.saveAsResult))
        return settings.saveAsResult;
    const std::wstring target = FullPathOf(std::wstring(fileName, SysStringLen(fileName)));
    if (target.empty())
        return E_INVALIDARG;
    if (settings.exitDuringSave != 0)
        CrashWhileSaving(target, settings.exitDuringSave);
    const HRESULT hr = ExportPresentation(m_content, target, settings);
    if (FAILED(hr))
        return hr;
    // As in the real program, the document now carries the name it was saved under.
    m_fullName = target;
    return settings.saveAsResult;
}

STDMETHODIMP CPresentation::Close()
{
    const HRESULT injected = SStandinSettings::Load().InjectedResult(EInjectedFailure::Close);
    if (FAILED(injected))
        return injected;
    if (!m_application)
        return kPresentationClosed;
    const CComPtr<CApplication> application = std::move(m_application);
    application->RemovePresentation(this);
    return S_OK;
}

void CPresentation::Detach()
{
    m_application.Reset();
}

} // namespace StandIns
