#include "engines/chromium_input.h"

#include <string>

#include "runtime/text.h"

namespace cefcompat {
namespace {

// CEF's modifier flags as DevTools counts them: Alt 1, Control 2, Meta 4, Shift 8.
int ModifiersOf(uint32_t flags)
{
    return ((flags & EVENTFLAG_ALT_DOWN) ? 1 : 0) | ((flags & EVENTFLAG_CONTROL_DOWN) ? 2 : 0) |
           ((flags & EVENTFLAG_COMMAND_DOWN) ? 4 : 0) | ((flags & EVENTFLAG_SHIFT_DOWN) ? 8 : 0);
}

const char* ButtonName(cef_mouse_button_type_t button)
{
    switch (button) {
    case MBT_MIDDLE: return "middle";
    case MBT_RIGHT: return "right";
    default: return "left";
    }
}

// The button a move carries, from the flags of the buttons held.
const char* HeldButton(uint32_t flags)
{
    if (flags & EVENTFLAG_LEFT_MOUSE_BUTTON)
        return "left";
    if (flags & EVENTFLAG_MIDDLE_MOUSE_BUTTON)
        return "middle";
    if (flags & EVENTFLAG_RIGHT_MOUSE_BUTTON)
        return "right";
    return "none";
}

nlohmann::json MouseParams(const char* type, int x, int y, uint32_t modifiers, const char* button, int clickCount)
{
    return {{"type", type},     {"x", x},
            {"y", y},           {"modifiers", ModifiersOf(modifiers)},
            {"button", button}, {"clickCount", clickCount}};
}

} // namespace

nlohmann::json MouseMoveParams(const CefMouseEvent& event, bool mouseLeave)
{
    const int x = mouseLeave ? -1 : event.x;
    const int y = mouseLeave ? -1 : event.y;
    return MouseParams("mouseMoved", x, y, event.modifiers, HeldButton(event.modifiers), 0);
}

nlohmann::json MouseClickParams(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp,
                                int clickCount)
{
    return MouseParams(mouseUp ? "mouseReleased" : "mousePressed", event.x, event.y, event.modifiers,
                       ButtonName(button), clickCount);
}

nlohmann::json MouseWheelParams(const CefMouseEvent& event, int deltaX, int deltaY)
{
    // CEF's deltas are positive away from the user (up, left); DevTools' point down and right.
    return {{"type", "mouseWheel"}, {"x", event.x},     {"y", event.y}, {"modifiers", ModifiersOf(event.modifiers)},
            {"deltaX", -deltaX},    {"deltaY", -deltaY}};
}

nlohmann::json KeyParams(const CefKeyEvent& event)
{
    nlohmann::json params = {{"modifiers", ModifiersOf(event.modifiers)},
                             {"windowsVirtualKeyCode", event.windows_key_code},
                             {"nativeVirtualKeyCode", event.native_key_code},
                             {"isSystemKey", event.is_system_key != 0}};
    switch (event.type) {
    case KEYEVENT_CHAR: {
        // A character event may carry its character in the key code alone.
        const wchar_t character = static_cast<wchar_t>(event.character ? event.character : event.windows_key_code);
        const wchar_t unmodified = static_cast<wchar_t>(event.unmodified_character);
        params["type"] = "char";
        params["text"] = ToUtf8(std::wstring(1, character));
        params["unmodifiedText"] = ToUtf8(std::wstring(1, unmodified ? unmodified : character));
        break;
    }
    case KEYEVENT_KEYUP: params["type"] = "keyUp"; break;
    default: params["type"] = "rawKeyDown"; break;
    }
    return params;
}

} // namespace cefcompat
