#pragma once

// The platform utilities' handle owners, from the shared owner template.

#include "Win32Owners.h"

namespace NsPlatform {

using NsWin32::CFileHandle;
using NsWin32::CFindHandle;
using NsWin32::CKernelHandle;
using NsWin32::CModuleReference;
using NsWin32::CRegistryKey;
// Snapshots of CreateToolhelp32Snapshot report failure as INVALID_HANDLE_VALUE, as files do.
using CSnapshotHandle = NsWin32::CFileHandle;

} // namespace NsPlatform
