// Thread checks as CEF's wrapper library has them: a handler that names its thread begins with
// CEF_REQUIRE_UI_THREAD() (or the IO, FILE or RENDERER form), a DCHECK of CefCurrentlyOn.
#pragma once

#include "include/base/cef_logging.h"
#include "include/cef_task.h"

#define CEF_REQUIRE_UI_THREAD() DCHECK(CefCurrentlyOn(TID_UI));
#define CEF_REQUIRE_IO_THREAD() DCHECK(CefCurrentlyOn(TID_IO));
#define CEF_REQUIRE_FILE_THREAD() DCHECK(CefCurrentlyOn(TID_FILE));
#define CEF_REQUIRE_RENDERER_THREAD() DCHECK(CefCurrentlyOn(TID_RENDERER));
