#pragma once

// The host's registry key and top-level window owners, from the shared owner template.

#include "Win32Owners.h"

using CScopedRegistryKey = NsWin32::CRegistryKey;
using CScopedWindow = NsWin32::CWindow;
