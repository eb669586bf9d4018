// IUnknown and IDispatch for the stand-in's automation objects. Late-bound calls go through the
// type library embedded in this executable; early-bound callers use the virtual table directly.
#pragma once

#include "ReferenceCounted.h"
#include "ServerModule.h"

namespace StandIns {

template <class TInterface>
class CDispatchObject : public CReferenceCounted<CDispatchObject<TInterface>, TInterface> {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        return this->Answer(iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(TInterface), object);
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = CServerModule::Instance().DispatchTypeInfo(__uuidof(TInterface)) ? 1 : 0;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        if (!info)
            return E_POINTER;
        *info = index == 0 ? CServerModule::Instance().DispatchTypeInfo(__uuidof(TInterface)) : nullptr;
        if (!*info)
            return DISP_E_BADINDEX;
        (*info)->AddRef();
        return S_OK;
    }

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        ITypeInfo* info = CServerModule::Instance().InterfaceTypeInfo(__uuidof(TInterface));
        return info ? DispGetIDsOfNames(info, names, count, ids) : E_UNEXPECTED;
    }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                        UINT* argumentError) override
    {
        ITypeInfo* info = CServerModule::Instance().InterfaceTypeInfo(__uuidof(TInterface));
        return info ? DispInvoke(static_cast<TInterface*>(this), info, id, flags, params, result, exception,
                                 argumentError)
                    : E_UNEXPECTED;
    }

protected:
    CDispatchObject() { CServerModule::Instance().ObjectCreated(); }
    virtual ~CDispatchObject() { CServerModule::Instance().ObjectDestroyed(); }

private:
    friend class CReferenceCounted<CDispatchObject<TInterface>, TInterface>; // deletes it
};

// A slot that only keeps the members after it at their place in the virtual table.
#define STANDIN_UNUSED_SLOT(slot)                                                                                      \
    STDMETHODIMP Unused##slot() override                                                                               \
    {                                                                                                                  \
        return E_NOTIMPL;                                                                                              \
    }

} // namespace StandIns
