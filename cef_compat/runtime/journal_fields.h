// Every field of the API's structures, written into journal lines.
#pragma once

#include <vector>

#include "include/cef_base.h"
#include "runtime/text.h"

namespace cefcompat {

CLine& AddFields(CLine& line, const cef_settings_t& settings);
CLine& AddFields(CLine& line, const cef_browser_settings_t& settings);
CLine& AddFields(CLine& line, const cef_window_info_t& info);
CLine& AddFields(CLine& line, const cef_mouse_event_t& event);
CLine& AddFields(CLine& line, const cef_key_event_t& event);
// "x:y:width:height,..." for the journal.
std::string RectsText(const std::vector<CefRect>& rects);
std::string HandleText(const void* handle);

} // namespace cefcompat
