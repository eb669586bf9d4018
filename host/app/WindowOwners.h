#pragma once

// Owners for the two non-kernel resources of the host: a registry key and a top-level
// window. Kernel handles use the channel's NsWin32 owners.

#include <windows.h>

#include <utility>

template <typename Traits>
class CScopedResource {
public:
    using Type = typename Traits::Type;

    CScopedResource() = default;
    explicit CScopedResource(Type value) : m_value(value) {}
    ~CScopedResource() { Reset(); }

    CScopedResource(CScopedResource&& other) noexcept : m_value(other.Release()) {}
    CScopedResource& operator=(CScopedResource&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    CScopedResource(const CScopedResource&) = delete;
    CScopedResource& operator=(const CScopedResource&) = delete;

    Type Get() const { return m_value; }
    explicit operator bool() const { return m_value != nullptr; }

    void Reset(Type value = nullptr)
    {
        const Type old = std::exchange(m_value, value);
        if (old && old != value)
            Traits::Close(old);
    }

    Type Release() { return std::exchange(m_value, nullptr); }

    // For APIs that hand the resource out through a pointer.
    Type* Receive()
    {
        Reset();
        return &m_value;
    }

private:
    Type m_value = nullptr;
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static void Close(HKEY key) { ::RegCloseKey(key); }
};

struct WindowTraits {
    using Type = HWND;
    static void Close(HWND window) { ::DestroyWindow(window); }
};

using CScopedRegistryKey = CScopedResource<RegistryKeyTraits>;
using CScopedWindow = CScopedResource<WindowTraits>;
