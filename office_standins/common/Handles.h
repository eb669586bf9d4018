// One owner template for the kernel handles of the stand-ins; each kind of handle names its
// invalid value and its closing call once, in its traits.
#pragma once

#include <windows.h>

namespace StandIns {

template <class Traits>
class CUniqueHandle
{
public:
    using Type = typename Traits::Type;

    CUniqueHandle() = default;
    explicit CUniqueHandle(Type handle) : m_handle(handle) {}
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    ~CUniqueHandle() { Reset(); }

    Type Get() const { return m_handle; }
    bool IsValid() const { return m_handle != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    Type Release()
    {
        Type handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }

    void Reset(Type handle = Traits::Invalid())
    {
        if (IsValid())
            Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    Type m_handle = Traits::Invalid();
};

struct SKernelHandleTraits
{
    using Type = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};

// Files, pipes and tool-help snapshots.
struct SFileHandleTraits
{
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};

struct SChangeNotificationTraits
{
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { FindCloseChangeNotification(handle); }
};

struct SFindHandleTraits
{
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { FindClose(handle); }
};

struct SRegistryKeyTraits
{
    using Type = HKEY;
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY key) { RegCloseKey(key); }
};

using CKernelHandle = CUniqueHandle<SKernelHandleTraits>;
using CFileHandle = CUniqueHandle<SFileHandleTraits>;
using CChangeNotification = CUniqueHandle<SChangeNotificationTraits>;
using CFindHandle = CUniqueHandle<SFindHandleTraits>;
using CRegistryHandle = CUniqueHandle<SRegistryKeyTraits>;

} // namespace StandIns
