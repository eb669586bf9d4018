// The reference count every COM object of the stand-in shares. An object starts with its
// creator's reference and deletes itself, as TDerived, when the last one goes.
#pragma once

#include <windows.h>

namespace StandIns {

template <class TDerived, class TInterface>
class CReferenceCounted : public TInterface {
public:
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_references); }

    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG references = InterlockedDecrement(&m_references);
        if (references == 0)
            delete static_cast<TDerived*>(this);
        return references;
    }

protected:
    CReferenceCounted() = default;
    CReferenceCounted(const CReferenceCounted&) = delete;
    CReferenceCounted& operator=(const CReferenceCounted&) = delete;

    // QueryInterface's answer: this object, with a reference for the caller, when it serves the
    // interface asked for.
    HRESULT Answer(bool serves, void** object)
    {
        if (!object)
            return E_POINTER;
        *object = serves ? static_cast<TInterface*>(this) : nullptr;
        if (!serves)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

private:
    LONG m_references = 1;
};

} // namespace StandIns
