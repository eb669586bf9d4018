// The runtime's names for the shared Win32 owners (common/Win32Owners.h).
#pragma once

#include "Win32Owners.h"

namespace cefcompat {

template <class Traits>
using CScopedResource = NsWin32::CScopedResource<Traits>;
using CUniqueHandle = NsWin32::CKernelHandle;
using CFileHandle = NsWin32::CFileHandle;
using CGdiObject = NsWin32::CGdiObject;
using CMemoryDc = NsWin32::CMemoryDc;
using CWindowHandle = NsWin32::CWindow;
using NsWin32::CWindowDc;
using CSelectGuard = NsWin32::CSelection;

} // namespace cefcompat
