#pragma once

// One owner for every kind of Win32 resource that is closed through a single value: it closes
// what it holds exactly once, can be moved and cannot be copied. Each kind names its "nothing
// held" value and its closing call once, in its traits; the owners below are one line each.

#include <windows.h>

#include <utility>

namespace NsWin32 {

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
    // A mapped view's memory.
    unsigned char* Bytes() const { return static_cast<unsigned char*>(m_value); }
    bool IsValid() const { return m_value != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // Closes what was held and takes `value`. The caller's last error survives the close, so
    // `owner.Reset(::CreateFileW(...))` may be followed by GetLastError().
    void Reset(Type value = Traits::Invalid())
    {
        const Type old = std::exchange(m_value, value);
        if (old != Traits::Invalid() && old != value) {
            const DWORD error = ::GetLastError();
            Traits::Close(old);
            ::SetLastError(error);
        }
    }

    // Gives up ownership: the caller now closes the value, or has made sure it needs no close.
    [[nodiscard]] Type Release() { return std::exchange(m_value, Traits::Invalid()); }

    // For APIs that hand the resource out through a pointer.
    Type* Receive()
    {
        Reset();
        return &m_value;
    }

private:
    Type m_value = Traits::Invalid();
};

// Events, mutexes, threads, processes, mappings: null when absent.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { ::CloseHandle(handle); }
};

// Files, pipes and tool-help snapshots report failure as INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { ::CloseHandle(handle); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { ::FindClose(handle); }
};

struct ChangeNotificationTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { ::FindCloseChangeNotification(handle); }
};

// A counted reference on a loaded module.
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type module) { ::FreeLibrary(module); }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type key) { ::RegCloseKey(key); }
};

// Windows must be destroyed on the thread that created them; their owners live on that thread.
struct WindowTraits {
    using Type = HWND;
    static Type Invalid() { return nullptr; }
    static void Close(Type window) { ::DestroyWindow(window); }
};

template <typename GdiType>
struct GdiObjectTraits {
    using Type = GdiType;
    static Type Invalid() { return nullptr; }
    static void Close(Type object) { ::DeleteObject(object); }
};

// A memory DC from CreateCompatibleDC.
struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type dc) { ::DeleteDC(dc); }
};

struct MappedViewTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type view) { ::UnmapViewOfFile(view); }
};

using CKernelHandle = CScopedResource<KernelHandleTraits>;
using CFileHandle = CScopedResource<FileHandleTraits>;
using CFindHandle = CScopedResource<FindHandleTraits>;
using CChangeNotification = CScopedResource<ChangeNotificationTraits>;
using CModuleReference = CScopedResource<ModuleTraits>;
using CRegistryKey = CScopedResource<RegistryKeyTraits>;
using CWindow = CScopedResource<WindowTraits>;
using CGdiObject = CScopedResource<GdiObjectTraits<HGDIOBJ>>;
using CBitmap = CScopedResource<GdiObjectTraits<HBITMAP>>;
using CRegion = CScopedResource<GdiObjectTraits<HRGN>>;
using CMemoryDc = CScopedResource<MemoryDcTraits>;
using CMappedView = CScopedResource<MappedViewTraits>;

// A window's or the screen's DC from GetDC, given back with ReleaseDC.
class CWindowDc {
public:
    explicit CWindowDc(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
    ~CWindowDc() { Reset(); }

    CWindowDc(CWindowDc&& other) noexcept : m_window(other.m_window), m_dc(std::exchange(other.m_dc, nullptr)) {}
    CWindowDc& operator=(CWindowDc&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_window = other.m_window;
            m_dc = std::exchange(other.m_dc, nullptr);
        }
        return *this;
    }
    CWindowDc(const CWindowDc&) = delete;
    CWindowDc& operator=(const CWindowDc&) = delete;

    HDC Get() const { return m_dc; }

private:
    void Reset()
    {
        if (m_dc)
            ::ReleaseDC(m_window, std::exchange(m_dc, nullptr));
    }

    HWND m_window = nullptr;
    HDC m_dc = nullptr;
};

// An object selected into a DC; the DC's previous object is selected back on release, so
// that neither the DC nor the object is deleted while the other still refers to it.
class CSelection {
public:
    CSelection() = default;
    CSelection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(::SelectObject(dc, object))
    {
        if (!m_previous)
            m_dc = nullptr;
    }
    ~CSelection() { Reset(); }

    CSelection(CSelection&& other) noexcept
        : m_dc(std::exchange(other.m_dc, nullptr)),
          m_previous(std::exchange(other.m_previous, nullptr))
    {
    }
    CSelection& operator=(CSelection&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_dc = std::exchange(other.m_dc, nullptr);
            m_previous = std::exchange(other.m_previous, nullptr);
        }
        return *this;
    }
    CSelection(const CSelection&) = delete;
    CSelection& operator=(const CSelection&) = delete;

    explicit operator bool() const { return m_dc != nullptr; }

    void Reset()
    {
        if (m_dc)
            ::SelectObject(std::exchange(m_dc, nullptr), std::exchange(m_previous, nullptr));
    }

private:
    HDC m_dc = nullptr;
    HGDIOBJ m_previous = nullptr;
};

} // namespace NsWin32
