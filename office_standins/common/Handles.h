// The stand-ins' handle owners, from the shared owner template.
#pragma once

#include "Win32Owners.h"

namespace StandIns {

using NsWin32::CChangeNotification;
using NsWin32::CFileHandle;
using NsWin32::CFindHandle;
using NsWin32::CKernelHandle;
using CRegistryHandle = NsWin32::CRegistryKey;

} // namespace StandIns
