// Registration of custom schemes at start-up.
#pragma once

#include "include/cef_base.h"

class CefSchemeRegistrar : public virtual CefBase {
public:
    // Recorded only: the page engine gives custom schemes no behaviour of their own.
    virtual bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                                 bool is_display_isolated) = 0;
};
