#include "ServerModule.h"

#include "Application.h"
#include "InterfaceKeeper.h"
#include "ReferenceCounted.h"
#include "StandinSettings.h"

#include "../common/FilePaths.h"
#include "../common/StandinNames.h"

#include "PowerPointStandin.h"

#include <utility>

namespace StandIns {

namespace {

// How long the server stays up after its last client let go. A client that releases the
// application and creates it again at once (as a probe followed by real work does) meets the
// same instance instead of one that is shutting down.
constexpr UINT kIdleExitMs = 2000;
// A server that was started but never used ends after this time.
constexpr UINT kUnusedStartExitMs = 30000;
// COM sends the answer to Quit from another thread once the call has returned; a process that
// ended at once could take that answer with it. After a Quit the process, its class revoked so
// that new clients start a new program, serves on until its clients have let go of it (they
// have had the answer then), or for this long when one keeps its references.
constexpr DWORD kQuitAnswerMs = 2000;

enum EExitCode {
    kExitNormal = 0,
    kExitNoApartment = 1,
    kExitNoTypeLibrary = 2,
    kExitNotRegistered = 3,
};

const IID* const kOwnInterfaces[] = {
    &__uuidof(_Application), &__uuidof(Presentations), &__uuidof(_Presentation),
    &__uuidof(COMAddIns),    &__uuidof(COMAddIn),
};

// Every interface a client may hold a stub of.
std::vector<IID> RemotedInterfaces()
{
    std::vector<IID> iids{IID_IUnknown, IID_IDispatch};
    for (const IID* iid : kOwnInterfaces)
        iids.push_back(*iid);
    return iids;
}

// Hands the one shared application object to every client.
class CApplicationFactory final : public CReferenceCounted<CApplicationFactory, IClassFactory> {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        return Answer(iid == IID_IUnknown || iid == IID_IClassFactory, object);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        CComPtr<CApplication> application;
        const HRESULT hr = CServerModule::Instance().SharedApplication(application);
        return FAILED(hr) ? hr : application->QueryInterface(iid, object);
    }

    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            CServerModule::Instance().ObjectCreated();
        else
            CServerModule::Instance().ObjectDestroyed();
        return S_OK;
    }
};

} // namespace

CClassRegistration::CClassRegistration(REFCLSID clsid, IUnknown* factory)
    : m_result(CoRegisterClassObject(clsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &m_cookie))
{
}

CClassRegistration::~CClassRegistration()
{
    Revoke();
}

void CClassRegistration::Revoke()
{
    if (SUCCEEDED(m_result) && m_cookie != 0)
        CoRevokeClassObject(std::exchange(m_cookie, 0));
}

CServerModule& CServerModule::Instance()
{
    static CServerModule module;
    return module;
}

int CServerModule::Run()
{
    CComApartment apartment;
    if (FAILED(apartment.Result()))
        return kExitNoApartment;

    // The real program takes its time to come up; clients wait for the class object meanwhile.
    Sleep(SStandinSettings::Load().startupDelayMs);

    int exitCode = kExitNormal;
    if (FAILED(LoadTypeInfos())) {
        exitCode = kExitNoTypeLibrary;
    } else {
        CLSID clsid = {};
        CLSIDFromString(const_cast<LPOLESTR>(kApplicationClsid), &clsid);
        const CComPtr<IClassFactory> factory = CComPtr<IClassFactory>::Adopt(new CApplicationFactory);
        const CInterfaceKeeper keeper(RemotedInterfaces());
        {
            CClassRegistration registration(clsid, factory.Get());
            if (FAILED(registration.Result())) {
                exitCode = kExitNotRegistered;
            } else {
                m_registration = &registration;
                ArmIdleTimer(kUnusedStartExitMs);
                PumpUntilExit();
                m_registration = nullptr;
            }
        }
        if (m_quitRequested)
            ServeBeforeExit();
    }
    // The process ends with COM still set up. Wine's COM, when it takes down the apartment's last
    // stub of an interface, waits on this thread for that interface's calls to finish, and a
    // call counted for a server that no longer pumps never does: the server never ended. What
    // clients still hold learns of the end from RPC, as it would after a crash.
    ExitProcess(static_cast<UINT>(exitCode));
}

void CServerModule::PumpUntilExit()
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        const bool idleExpired =
            message.hwnd == nullptr && message.message == WM_TIMER && message.wParam == m_idleTimer && m_idleTimer != 0;
        if (idleExpired) {
            DisarmIdleTimer();
            if (m_objects == 0)
                RequestExit();
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void CServerModule::ServeBeforeExit()
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            // Windows ends a program by ending its loop: that ends this one too.
            if (message.message == WM_QUIT)
                return;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (m_objects == 0 || elapsed >= kQuitAnswerMs ||
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kQuitAnswerMs - elapsed, QS_ALLINPUT) == WAIT_TIMEOUT)
            return;
    }
}

HRESULT CServerModule::SharedApplication(CComPtr<CApplication>& application)
{
    if (m_exiting)
        return CO_E_SERVER_STOPPING;
    if (m_application) {
        application = CComPtr<CApplication>::Share(m_application);
        return S_OK;
    }
    application = CApplication::Create();
    if (!application)
        return E_OUTOFMEMORY;
    m_application = application.Get();
    return S_OK;
}

void CServerModule::ApplicationDestroyed(const CApplication* application)
{
    if (m_application == application)
        m_application = nullptr;
}

void CServerModule::ObjectCreated()
{
    ++m_objects;
    DisarmIdleTimer();
}

void CServerModule::ObjectDestroyed()
{
    if (--m_objects == 0 && !m_exiting)
        ArmIdleTimer(kIdleExitMs);
}

void CServerModule::RequestQuit()
{
    m_quitRequested = true;
    RequestExit();
}

void CServerModule::RequestExit()
{
    if (!m_exiting) {
        m_exiting = true;
        // From here on an activation starts a new instance instead of reaching this one, which
        // would only answer CO_E_SERVER_STOPPING for as long as it takes to leave.
        if (m_registration)
            m_registration->Revoke();
        PostQuitMessage(0);
    }
}

void CServerModule::ArmIdleTimer(UINT milliseconds)
{
    DisarmIdleTimer();
    m_idleTimer = SetTimer(nullptr, 0, milliseconds, nullptr);
}

void CServerModule::DisarmIdleTimer()
{
    if (m_idleTimer != 0) {
        KillTimer(nullptr, m_idleTimer);
        m_idleTimer = 0;
    }
}

HRESULT CServerModule::LoadTypeInfos()
{
    CComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(ModuleFilePath(nullptr).c_str(), REGKIND_NONE, library.Receive());
    for (const IID* iid : kOwnInterfaces) {
        if (FAILED(hr))
            break;
        STypeInfos infos{*iid, {}, {}};
        hr = library->GetTypeInfoOfGuid(*iid, infos.dispatchInfo.Receive());
        // A dual interface describes itself twice; DispInvoke needs the virtual-table view.
        HREFTYPE vtableView = 0;
        if (SUCCEEDED(hr))
            hr = infos.dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableView);
        if (SUCCEEDED(hr))
            hr = infos.dispatchInfo->GetRefTypeInfo(vtableView, infos.interfaceInfo.Receive());
        if (SUCCEEDED(hr))
            m_typeInfos.push_back(std::move(infos));
    }
    return hr;
}

const CServerModule::STypeInfos* CServerModule::FindTypeInfos(REFIID iid) const
{
    for (const STypeInfos& infos : m_typeInfos) {
        if (infos.iid == iid)
            return &infos;
    }
    return nullptr;
}

ITypeInfo* CServerModule::DispatchTypeInfo(REFIID iid) const
{
    const STypeInfos* infos = FindTypeInfos(iid);
    return infos ? infos->dispatchInfo.Get() : nullptr;
}

ITypeInfo* CServerModule::InterfaceTypeInfo(REFIID iid) const
{
    const STypeInfos* infos = FindTypeInfos(iid);
    return infos ? infos->interfaceInfo.Get() : nullptr;
}

} // namespace StandIns
