// The process side of the presentation-program stand-in: its one shared application object,
// the class object that hands it to every client, the type information of its interfaces, and
// the rule that ends the process.
//
// Everything here runs on the main thread, the process's single-threaded apartment: COM
// delivers every incoming call there through the message loop of Run.
#pragma once

#include "../common/ComOwners.h"

#include <vector>

namespace StandIns {

class CApplication;

// The class object's registration with COM, for as long as it lives or until revoked.
class CClassRegistration {
public:
    CClassRegistration(REFCLSID clsid, IUnknown* factory);
    CClassRegistration(const CClassRegistration&) = delete;
    CClassRegistration& operator=(const CClassRegistration&) = delete;
    ~CClassRegistration();

    HRESULT Result() const { return m_result; }
    void Revoke();

private:
    DWORD m_cookie = 0;
    HRESULT m_result;
};

class CServerModule {
public:
    static CServerModule& Instance();

    CServerModule(const CServerModule&) = delete;
    CServerModule& operator=(const CServerModule&) = delete;

    // Registers the class object and serves until Quit, or until no client has used the
    // server for a while. Returns the process exit code.
    int Run();

    // The running application object, created on first use.
    HRESULT SharedApplication(CComPtr<CApplication>& application);
    void ApplicationDestroyed(const CApplication* application);

    // Every object that a client may hold counts; at zero the idle time-out starts.
    void ObjectCreated();
    void ObjectDestroyed();

    // Ends the message loop once the current call has returned.
    void RequestExit();
    // The same for Application.Quit, whose answer must still reach its caller.
    void RequestQuit();
    bool IsExiting() const { return m_exiting; }

    // Type information of one of our interfaces: its dispatch view for clients, its
    // virtual-table view for DispInvoke. Null when the type library could not be loaded.
    ITypeInfo* DispatchTypeInfo(REFIID iid) const;
    ITypeInfo* InterfaceTypeInfo(REFIID iid) const;

private:
    struct STypeInfos {
        IID iid;
        CComPtr<ITypeInfo> dispatchInfo;
        CComPtr<ITypeInfo> interfaceInfo;
    };

    CServerModule() = default;

    HRESULT LoadTypeInfos();
    const STypeInfos* FindTypeInfos(REFIID iid) const;
    void ArmIdleTimer(UINT milliseconds);
    void DisarmIdleTimer();
    void PumpUntilExit();
    void ServeBeforeExit();

    CApplication* m_application = nullptr; // not owned: the object lives while clients hold it
    CClassRegistration* m_registration = nullptr; // Run's, while it serves
    long m_objects = 0;
    bool m_exiting = false;
    bool m_quitRequested = false;
    UINT_PTR m_idleTimer = 0;
    std::vector<STypeInfos> m_typeInfos;
};

} // namespace StandIns
