// Windows-specific C types of the API.
#pragma once

#include <windows.h>

#include "include/internal/cef_string_types.h"

typedef HWND cef_window_handle_t;
typedef HCURSOR cef_cursor_handle_t;
typedef cef_cursor_handle_t CefCursorHandle;
typedef cef_window_handle_t CefWindowHandle;
typedef MSG cef_event_handle_t;

#define cef_text_input_context_t void*

typedef struct _cef_main_args_t {
    HINSTANCE instance;
} cef_main_args_t;

// How a browser's window is made. A windowless browser paints through the render handler
// and uses |parent_window| only as a reference for screen information.
typedef struct _cef_window_info_t {
    DWORD ex_style;
    cef_string_t window_name;
    DWORD style;
    int x;
    int y;
    int width;
    int height;
    cef_window_handle_t parent_window;
    HMENU menu;
    int windowless_rendering_enabled;
    int transparent_painting_enabled;
    cef_window_handle_t window;
} cef_window_info_t;
