#pragma once

#include <windows.h>

// The crash broadcast registered under the add-in's process id; 0 until registered, which
// disables the broadcast. Written once on the main thread before any other thread exists.
extern UINT g_crashMessageId;

// Exit code of the browser process: 1 unless the browser has closed, then 2. UI thread only.
extern int g_hostExitCode;

constexpr int kExitNoBrowser = 1;
constexpr int kExitBrowserClosed = 2;

// Process-wide top-level filter: tells the add-in which process crashed, then ends it.
LONG WINAPI HostUnhandledExceptionFilter(EXCEPTION_POINTERS* exception);
