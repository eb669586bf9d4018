#pragma once

// Single owners for GDI resources: each releases what it holds exactly once and cannot be
// copied; all but the paint DC can be moved. Null is the only "nothing held" value.

#include <windows.h>

#include <utility>

namespace NsGdi {

template <typename Traits>
class CGdiOwner {
public:
    using Type = typename Traits::Type;

    CGdiOwner() = default;
    explicit CGdiOwner(Type value) : m_value(value) {}
    ~CGdiOwner() { Reset(); }

    CGdiOwner(CGdiOwner&& other) noexcept : m_value(other.Release()) {}
    CGdiOwner& operator=(CGdiOwner&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    CGdiOwner(const CGdiOwner&) = delete;
    CGdiOwner& operator=(const CGdiOwner&) = delete;

    Type Get() const { return m_value; }
    explicit operator bool() const { return m_value != nullptr; }

    void Reset(Type value = nullptr)
    {
        const Type old = std::exchange(m_value, value);
        if (old)
            Traits::Close(old);
    }

    Type Release() { return std::exchange(m_value, nullptr); }

private:
    Type m_value = nullptr;
};

struct BitmapTraits {
    using Type = HBITMAP;
    static void Close(HBITMAP bitmap) { ::DeleteObject(bitmap); }
};

struct RegionTraits {
    using Type = HRGN;
    static void Close(HRGN region) { ::DeleteObject(region); }
};

struct MemoryDcTraits {
    using Type = HDC;
    static void Close(HDC dc) { ::DeleteDC(dc); }
};

using CBitmapOwner = CGdiOwner<BitmapTraits>;
using CRegionOwner = CGdiOwner<RegionTraits>;
using CMemoryDc = CGdiOwner<MemoryDcTraits>;

// A window's DC from GetDC, given back with ReleaseDC.
class CWindowDc {
public:
    explicit CWindowDc(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
    ~CWindowDc() { Reset(); }

    CWindowDc(CWindowDc&& other) noexcept
        : m_window(other.m_window), m_dc(std::exchange(other.m_dc, nullptr))
    {
    }
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

// The DC of one WM_PAINT, from BeginPaint, ended with EndPaint. Bound to its message, so it
// can neither be copied nor moved.
class CPaintDc {
public:
    explicit CPaintDc(HWND window) : m_window(window), m_dc(::BeginPaint(window, &m_paint)) {}
    ~CPaintDc() { ::EndPaint(m_window, &m_paint); }

    CPaintDc(const CPaintDc&) = delete;
    CPaintDc& operator=(const CPaintDc&) = delete;

    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
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
        : m_dc(std::exchange(other.m_dc, nullptr)), m_previous(std::exchange(other.m_previous, nullptr))
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

} // namespace NsGdi
