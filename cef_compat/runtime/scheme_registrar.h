// The registrar handed to OnRegisterCustomSchemes: records each scheme for the journal.
#pragma once

#include <string>
#include <vector>

#include "include/cef_scheme.h"
#include "runtime/text.h"

namespace cefcompat {

class CSchemeRegistrarImpl : public CefSchemeRegistrar {
public:
    bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                         bool is_display_isolated) OVERRIDE
    {
        m_lines.push_back(CLine("call", "AddCustomScheme")
                              .Add("scheme_name", scheme_name)
                              .Add("is_standard", is_standard)
                              .Add("is_local", is_local)
                              .Add("is_display_isolated", is_display_isolated)
                              .Text());
        return !scheme_name.empty();
    }
    const std::vector<std::string>& Lines() const { return m_lines; }

private:
    std::vector<std::string> m_lines;
    IMPLEMENT_REFCOUNTING(CSchemeRegistrarImpl)
};

} // namespace cefcompat
