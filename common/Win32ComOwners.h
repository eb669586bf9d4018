#pragma once

// Owners of COM resources: an interface reference, a BSTR and the calling thread's apartment.
// Each releases what it owns at the end of its scope; none can be copied.

#include <objbase.h>
#include <oleauto.h>
#include <comdef.h>

#include "DebugCheck.h"

#include <string>
#include <utility>

namespace NsWin32 {

template <typename Interface>
class CComPtr {
public:
    CComPtr() noexcept = default;
    CComPtr(CComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    CComPtr& operator=(CComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_pointer = std::exchange(other.m_pointer, nullptr);
        }
        return *this;
    }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    ~CComPtr() { Reset(); }

    // Takes over a reference that the caller already holds.
    static CComPtr Adopt(Interface* pointer) noexcept
    {
        CComPtr owner;
        owner.m_pointer = pointer;
        return owner;
    }
    // Adds a reference of its own.
    static CComPtr Share(Interface* pointer) noexcept
    {
        if (pointer)
            pointer->AddRef();
        return Adopt(pointer);
    }
    CComPtr Share() const noexcept { return Share(m_pointer); }

    // The same object through interface `iid`; empty when it has none (`result` says why).
    template <typename Target>
    CComPtr<Target> Query(REFIID iid, HRESULT* result = nullptr) const noexcept
    {
        CComPtr<Target> target;
        const HRESULT hr = m_pointer ? m_pointer->QueryInterface(iid, target.ReceiveVoid()) : E_POINTER;
        if (result)
            *result = hr;
        return target;
    }

    Interface* Get() const noexcept { return m_pointer; }
    // A call through a missing interface fails like any other COM call.
    Interface* operator->() const { return &**this; }
    Interface& operator*() const
    {
        if (!m_pointer)
            throw _com_error(E_POINTER);
        return *m_pointer;
    }
    explicit operator bool() const noexcept { return m_pointer != nullptr; }

    // For an out-parameter: gives up the current reference and takes the new one.
    Interface** Receive() noexcept
    {
        Reset();
        return &m_pointer;
    }
    void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }

    // Hands the reference to the caller.
    [[nodiscard]] Interface* Detach() noexcept { return std::exchange(m_pointer, nullptr); }

    void Reset() noexcept
    {
        if (m_pointer)
            std::exchange(m_pointer, nullptr)->Release();
    }

private:
    Interface* m_pointer = nullptr;
};

class CBstr {
public:
    CBstr() noexcept = default;
    // Null when the string cannot be allocated.
    explicit CBstr(const std::wstring& text) noexcept
        : m_bstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    CBstr(CBstr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    CBstr& operator=(CBstr&& other) noexcept
    {
        if (this != &other)
            ::SysFreeString(std::exchange(m_bstr, std::exchange(other.m_bstr, nullptr)));
        return *this;
    }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    ~CBstr() { ::SysFreeString(m_bstr); }

    BSTR Get() const noexcept { return m_bstr; }
    BSTR* Receive() noexcept
    {
        ::SysFreeString(std::exchange(m_bstr, nullptr));
        return &m_bstr;
    }
    [[nodiscard]] BSTR Detach() noexcept { return std::exchange(m_bstr, nullptr); }
    std::wstring Text() const { return m_bstr ? std::wstring(m_bstr, ::SysStringLen(m_bstr)) : std::wstring(); }

private:
    BSTR m_bstr = nullptr;
};

// The calling thread in a single-threaded apartment for the length of a scope. A thread that
// already lives in a multithreaded apartment keeps it: initialisation fails there, and then
// nothing is undone. CoUninitialize undoes the calling thread's CoInitialize, so the guard
// must end on the thread that made it.
class CComApartment {
public:
    CComApartment() noexcept : m_result(::CoInitialize(nullptr)) {}
    ~CComApartment()
    {
        DEBUG_CHECK(::GetCurrentThreadId() == m_thread);
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    HRESULT Result() const noexcept { return m_result; }

private:
    HRESULT m_result;
    DWORD m_thread = ::GetCurrentThreadId();
};

} // namespace NsWin32
