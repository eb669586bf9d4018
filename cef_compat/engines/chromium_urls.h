// Addresses between the host's Windows form and what Chromium reads under Wine: file:///Z:/...
// and file:///C:/... name Windows paths, which Chromium opens by their Linux paths, and whose
// Linux form is shown to the host again as the Windows path it gave. Other addresses pass as
// they are.
#pragma once

#include <string>

namespace cefcompat {

std::wstring ToChromiumUrl(const std::wstring& url);
std::wstring FromChromiumUrl(const std::wstring& url);

} // namespace cefcompat
