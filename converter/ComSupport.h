#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <comdef.h>

#include <string>
#include <utility>

namespace NsConverter {

// Owns one reference to a COM interface; releases it at the end of its scope.
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

    void Reset() noexcept
    {
        if (m_pointer)
            std::exchange(m_pointer, nullptr)->Release();
    }

private:
    Interface* m_pointer = nullptr;
};

// Owns a BSTR.
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
    std::wstring Text() const { return m_bstr ? std::wstring(m_bstr, ::SysStringLen(m_bstr)) : std::wstring(); }

private:
    BSTR m_bstr = nullptr;
};

// Raises the COM error for a failed call on `object` through the interface `iid`, with the
// object's error information when it supports it for that interface.
[[noreturn]] void RaiseComError(HRESULT result, IUnknown* object, REFIID iid);

// Passes success codes through, S_FALSE included; raises for failures.
inline HRESULT CheckComResult(HRESULT result, IUnknown* object, REFIID iid)
{
    if (FAILED(result))
        RaiseComError(result, object, iid);
    return result;
}

// Runs a call whose failure must not change an outcome that is already settled, such as
// tidying up the presentation program after the output file is complete.
template <typename Body>
void IgnoreComError(Body&& body)
{
    try {
        body();
    } catch (const _com_error&) {
    }
}

// COM for the calling thread for the length of a scope. A thread that already lives in a
// multithreaded apartment keeps it: initialisation fails there, and then nothing is undone.
class CComApartment {
public:
    CComApartment() noexcept : m_result(::CoInitialize(nullptr)) {}
    ~CComApartment()
    {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

private:
    HRESULT m_result;
};

} // namespace NsConverter
