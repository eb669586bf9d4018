#pragma once

#include <windows.h>

// The procedure of the host's native window. The window object arrives as the creation
// parameter and is kept in the window's user data.
LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
