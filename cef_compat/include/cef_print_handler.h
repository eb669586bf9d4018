// CefPrintHandler: no method of it is called here.
#pragma once

#include "include/cef_base.h"

class CefPrintHandler : public virtual CefBase {};
