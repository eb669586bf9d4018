// CefKeyboardHandler: no method of it is called here; a client returns null for it.
#pragma once

#include "include/cef_base.h"

class CefKeyboardHandler : public virtual CefBase {};
