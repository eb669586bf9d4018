// Owners of Win32 resources: each closes what it holds exactly once; movable, not copyable.
#pragma once

#include <windows.h>

#include <utility>

namespace cefcompat {

template <class Traits>
class CScopedResource {
 public:
  using Type = typename Traits::Type;

  CScopedResource() = default;
  explicit CScopedResource(Type value) : m_value(value) {}
  CScopedResource(CScopedResource&& other) noexcept : m_value(other.Detach()) {}
  CScopedResource& operator=(CScopedResource&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  CScopedResource(const CScopedResource&) = delete;
  CScopedResource& operator=(const CScopedResource&) = delete;
  ~CScopedResource() { Reset(); }

  Type Get() const { return m_value; }
  bool IsValid() const { return m_value != Traits::Invalid(); }
  explicit operator bool() const { return IsValid(); }

  void Reset(Type value = Traits::Invalid()) {
    if (IsValid()) Traits::Close(m_value);
    m_value = value;
  }
  Type Detach() { return std::exchange(m_value, Traits::Invalid()); }

 private:
  Type m_value = Traits::Invalid();
};

struct CKernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};

// Files and pipes report failure as INVALID_HANDLE_VALUE.
struct CFileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};

struct CGdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DeleteObject(h); }
};

struct CMemoryDcTraits {
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DeleteDC(h); }
};

// Windows must be destroyed on the thread that created them; owners live on that thread.
struct CWindowTraits {
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { DestroyWindow(h); }
};

using CUniqueHandle = CScopedResource<CKernelHandleTraits>;
using CFileHandle = CScopedResource<CFileHandleTraits>;
using CGdiObject = CScopedResource<CGdiObjectTraits>;
using CMemoryDc = CScopedResource<CMemoryDcTraits>;
using CWindowHandle = CScopedResource<CWindowTraits>;

// A window's or the screen's DC, released on scope exit.
class CWindowDc {
 public:
  explicit CWindowDc(HWND hwnd) : m_hwnd(hwnd), m_dc(GetDC(hwnd)) {}
  CWindowDc(const CWindowDc&) = delete;
  CWindowDc& operator=(const CWindowDc&) = delete;
  ~CWindowDc() {
    if (m_dc) ReleaseDC(m_hwnd, m_dc);
  }
  HDC Get() const { return m_dc; }

 private:
  HWND m_hwnd;
  HDC m_dc;
};

// Selects an object into a DC and puts the previous one back on scope exit.
class CSelectGuard {
 public:
  CSelectGuard(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(SelectObject(dc, object)) {}
  CSelectGuard(const CSelectGuard&) = delete;
  CSelectGuard& operator=(const CSelectGuard&) = delete;
  ~CSelectGuard() {
    if (m_old) SelectObject(m_dc, m_old);
  }

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

}  // namespace cefcompat
