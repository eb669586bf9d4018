#include "runtime/journal_fields.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace cefcompat {
namespace {

std::string Text(const cef_string_t& s)
{
    return ToUtf8(std::wstring(s.str ? s.str : L"", s.length));
}

} // namespace

std::string HandleText(const void* handle)
{
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)));
    return buffer;
}

CLine& AddFields(CLine& line, const cef_settings_t& s)
{
    return line.Add("single_process", s.single_process)
        .Add("no_sandbox", s.no_sandbox)
        .Add("browser_subprocess_path", Text(s.browser_subprocess_path))
        .Add("multi_threaded_message_loop", s.multi_threaded_message_loop)
        .Add("windowless_rendering_enabled", s.windowless_rendering_enabled)
        .Add("command_line_args_disabled", s.command_line_args_disabled)
        .Add("cache_path", Text(s.cache_path))
        .Add("persist_session_cookies", s.persist_session_cookies)
        .Add("user_agent", Text(s.user_agent))
        .Add("product_version", Text(s.product_version))
        .Add("locale", Text(s.locale))
        .Add("log_file", Text(s.log_file))
        .Add("log_severity", static_cast<int>(s.log_severity))
        .Add("javascript_flags", Text(s.javascript_flags))
        .Add("resources_dir_path", Text(s.resources_dir_path))
        .Add("locales_dir_path", Text(s.locales_dir_path))
        .Add("pack_loading_disabled", s.pack_loading_disabled)
        .Add("remote_debugging_port", s.remote_debugging_port)
        .Add("uncaught_exception_stack_size", s.uncaught_exception_stack_size)
        .Add("context_safety_implementation", s.context_safety_implementation)
        .Add("ignore_certificate_errors", s.ignore_certificate_errors)
        .AddRaw("background_color", FormatHex(s.background_color));
}

CLine& AddFields(CLine& line, const cef_browser_settings_t& s)
{
    return line.Add("windowless_frame_rate", s.windowless_frame_rate)
        .Add("standard_font_family", Text(s.standard_font_family))
        .Add("fixed_font_family", Text(s.fixed_font_family))
        .Add("serif_font_family", Text(s.serif_font_family))
        .Add("sans_serif_font_family", Text(s.sans_serif_font_family))
        .Add("cursive_font_family", Text(s.cursive_font_family))
        .Add("fantasy_font_family", Text(s.fantasy_font_family))
        .Add("default_font_size", s.default_font_size)
        .Add("default_fixed_font_size", s.default_fixed_font_size)
        .Add("minimum_font_size", s.minimum_font_size)
        .Add("minimum_logical_font_size", s.minimum_logical_font_size)
        .Add("default_encoding", Text(s.default_encoding))
        .Add("remote_fonts", static_cast<int>(s.remote_fonts))
        .Add("javascript", static_cast<int>(s.javascript))
        .Add("javascript_open_windows", static_cast<int>(s.javascript_open_windows))
        .Add("javascript_close_windows", static_cast<int>(s.javascript_close_windows))
        .Add("javascript_access_clipboard", static_cast<int>(s.javascript_access_clipboard))
        .Add("javascript_dom_paste", static_cast<int>(s.javascript_dom_paste))
        .Add("caret_browsing", static_cast<int>(s.caret_browsing))
        .Add("java", static_cast<int>(s.java))
        .Add("plugins", static_cast<int>(s.plugins))
        .Add("universal_access_from_file_urls", static_cast<int>(s.universal_access_from_file_urls))
        .Add("file_access_from_file_urls", static_cast<int>(s.file_access_from_file_urls))
        .Add("web_security", static_cast<int>(s.web_security))
        .Add("image_loading", static_cast<int>(s.image_loading))
        .Add("image_shrink_standalone_to_fit", static_cast<int>(s.image_shrink_standalone_to_fit))
        .Add("text_area_resize", static_cast<int>(s.text_area_resize))
        .Add("tab_to_links", static_cast<int>(s.tab_to_links))
        .Add("local_storage", static_cast<int>(s.local_storage))
        .Add("databases", static_cast<int>(s.databases))
        .Add("application_cache", static_cast<int>(s.application_cache))
        .Add("webgl", static_cast<int>(s.webgl))
        .AddRaw("background_color", FormatHex(s.background_color));
}

CLine& AddFields(CLine& line, const cef_window_info_t& info)
{
    return line.AddRaw("ex_style", FormatHex(info.ex_style))
        .Add("window_name", Text(info.window_name))
        .AddRaw("style", FormatHex(info.style))
        .Add("x", info.x)
        .Add("y", info.y)
        .Add("width", info.width)
        .Add("height", info.height)
        .AddRaw("parent_window", HandleText(info.parent_window))
        .AddRaw("menu", HandleText(info.menu))
        .Add("windowless_rendering_enabled", info.windowless_rendering_enabled)
        .Add("transparent_painting_enabled", info.transparent_painting_enabled)
        .AddRaw("window", HandleText(info.window));
}

CLine& AddFields(CLine& line, const cef_mouse_event_t& event)
{
    return line.Add("x", event.x).Add("y", event.y).Add("modifiers", event.modifiers);
}

CLine& AddFields(CLine& line, const cef_key_event_t& event)
{
    return line.Add("type", static_cast<int>(event.type))
        .Add("modifiers", event.modifiers)
        .Add("windows_key_code", event.windows_key_code)
        .Add("native_key_code", event.native_key_code)
        .Add("is_system_key", event.is_system_key)
        .Add("character", static_cast<int>(event.character))
        .Add("unmodified_character", static_cast<int>(event.unmodified_character))
        .Add("focus_on_editable_field", event.focus_on_editable_field);
}

std::string RectsText(const std::vector<CefRect>& rects)
{
    std::vector<std::string> items;
    for (const CefRect& r : rects) {
        items.push_back(std::to_string(r.x) + ":" + std::to_string(r.y) + ":" + std::to_string(r.width) + ":" +
                        std::to_string(r.height));
    }
    return JoinList(items);
}

} // namespace cefcompat
