// CefDragData: drags are never started by the page here; the type exists for the render
// handler's signature.
#pragma once

#include "include/cef_base.h"

class CefDragData : public virtual CefBase {};
