// CefResourceBundleHandler: no method of it is called here.
#pragma once

#include "include/cef_base.h"

class CefResourceBundleHandler : public virtual CefBase {};
