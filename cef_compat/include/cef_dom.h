// CefDOMNode: no document tree is exposed here; the type exists for the handler signatures.
#pragma once

#include "include/cef_base.h"

class CefDOMNode : public virtual CefBase {};
