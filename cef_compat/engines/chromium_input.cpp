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

// A key of the US layout: its DOM code, and the key it means without and with Shift (the key's
// name for keys that type nothing).
struct CKey {
    int virtualKey;
    const char* code;
    const char* key;
    const char* shifted;
};

const CKey kKeys[] = {
    {0x08, "Backspace", "Backspace", "Backspace"},
    {0x09, "Tab", "Tab", "Tab"},
    {0x0C, "NumpadEqual", "Clear", "Clear"},
    {0x0D, "Enter", "Enter", "Enter"},
    {0x10, "ShiftLeft", "Shift", "Shift"},
    {0x11, "ControlLeft", "Control", "Control"},
    {0x12, "AltLeft", "Alt", "Alt"},
    {0x13, "Pause", "Pause", "Pause"},
    {0x14, "CapsLock", "CapsLock", "CapsLock"},
    {0x1B, "Escape", "Escape", "Escape"},
    {0x20, "Space", " ", " "},
    {0x21, "PageUp", "PageUp", "PageUp"},
    {0x22, "PageDown", "PageDown", "PageDown"},
    {0x23, "End", "End", "End"},
    {0x24, "Home", "Home", "Home"},
    {0x25, "ArrowLeft", "ArrowLeft", "ArrowLeft"},
    {0x26, "ArrowUp", "ArrowUp", "ArrowUp"},
    {0x27, "ArrowRight", "ArrowRight", "ArrowRight"},
    {0x28, "ArrowDown", "ArrowDown", "ArrowDown"},
    {0x2C, "PrintScreen", "PrintScreen", "PrintScreen"},
    {0x2D, "Insert", "Insert", "Insert"},
    {0x2E, "Delete", "Delete", "Delete"},
    {0x30, "Digit0", "0", ")"},
    {0x31, "Digit1", "1", "!"},
    {0x32, "Digit2", "2", "@"},
    {0x33, "Digit3", "3", "#"},
    {0x34, "Digit4", "4", "$"},
    {0x35, "Digit5", "5", "%"},
    {0x36, "Digit6", "6", "^"},
    {0x37, "Digit7", "7", "&"},
    {0x38, "Digit8", "8", "*"},
    {0x39, "Digit9", "9", "("},
    {0x5B, "MetaLeft", "Meta", "Meta"},
    {0x5C, "MetaRight", "Meta", "Meta"},
    {0x5D, "ContextMenu", "ContextMenu", "ContextMenu"},
    {0x6A, "NumpadMultiply", "*", "*"},
    {0x6B, "NumpadAdd", "+", "+"},
    {0x6C, "NumpadComma", ",", ","},
    {0x6D, "NumpadSubtract", "-", "-"},
    {0x6E, "NumpadDecimal", ".", "."},
    {0x6F, "NumpadDivide", "/", "/"},
    {0x90, "NumLock", "NumLock", "NumLock"},
    {0x91, "ScrollLock", "ScrollLock", "ScrollLock"},
    {0xA0, "ShiftLeft", "Shift", "Shift"},
    {0xA1, "ShiftRight", "Shift", "Shift"},
    {0xA2, "ControlLeft", "Control", "Control"},
    {0xA3, "ControlRight", "Control", "Control"},
    {0xA4, "AltLeft", "Alt", "Alt"},
    {0xA5, "AltRight", "Alt", "Alt"},
    {0xBA, "Semicolon", ";", ":"},
    {0xBB, "Equal", "=", "+"},
    {0xBC, "Comma", ",", "<"},
    {0xBD, "Minus", "-", "_"},
    {0xBE, "Period", ".", ">"},
    {0xBF, "Slash", "/", "?"},
    {0xC0, "Backquote", "`", "~"},
    {0xDB, "BracketLeft", "[", "{"},
    {0xDC, "Backslash", "\\", "|"},
    {0xDD, "BracketRight", "]", "}"},
    {0xDE, "Quote", "'", "\""},
    {0xE2, "IntlBackslash", "\\", "|"},
};

struct CDomKey {
    std::string code;
    std::string key;
};

// The DOM identity of the key with Windows virtual-key code |virtualKey| under |flags|; empty
// for codes no keyboard has.
CDomKey DomKeyOf(int virtualKey, uint32_t flags)
{
    const bool shift = (flags & EVENTFLAG_SHIFT_DOWN) != 0;
    if (virtualKey >= 'A' && virtualKey <= 'Z') {
        const bool upper = shift != ((flags & EVENTFLAG_CAPS_LOCK_ON) != 0);
        const char letter = static_cast<char>(upper ? virtualKey : virtualKey - 'A' + 'a');
        return {std::string("Key") + static_cast<char>(virtualKey), std::string(1, letter)};
    }
    if (virtualKey >= 0x60 && virtualKey <= 0x69) {
        const std::string digit(1, static_cast<char>('0' + virtualKey - 0x60));
        return {"Numpad" + digit, digit};
    }
    if (virtualKey >= 0x70 && virtualKey <= 0x87) {
        const std::string name = "F" + std::to_string(virtualKey - 0x70 + 1);
        return {name, name};
    }
    for (const CKey& key : kKeys) {
        if (key.virtualKey != virtualKey)
            continue;
        std::string code = key.code;
        // The keypad's Enter and the right-hand modifiers share their virtual-key codes.
        if (virtualKey == 0x0D && (flags & EVENTFLAG_IS_KEY_PAD))
            code = "NumpadEnter";
        else if ((flags & EVENTFLAG_IS_RIGHT) && code.size() > 4 && code.compare(code.size() - 4, 4, "Left") == 0)
            code = code.substr(0, code.size() - 4) + "Right";
        return {code, shift ? key.shifted : key.key};
    }
    return {};
}

// The key that types |character| on the US layout, as a character event names it; the keypad's
// keys type the same characters, but the main block is what a typist uses.
CDomKey DomKeyOfCharacter(wchar_t character)
{
    // Backspace, Tab, Enter and Escape type characters equal to their virtual-key codes.
    if (character < 0x20)
        return DomKeyOf(character, 0);
    const std::string text = ToUtf8(std::wstring(1, character));
    if (character >= L'a' && character <= L'z')
        return {std::string("Key") + static_cast<char>(character - L'a' + 'A'), text};
    if (character >= L'A' && character <= L'Z')
        return {std::string("Key") + static_cast<char>(character), text};
    for (const CKey& key : kKeys) {
        if (std::string(key.code).compare(0, 6, "Numpad") != 0 && (text == key.key || text == key.shifted))
            return {key.code, text};
    }
    return {std::string(), text};
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
    // The native key code is a Windows one, which a Chromium on another system would misread:
    // the page learns the key from its DOM key and code.
    nlohmann::json params = {{"modifiers", ModifiersOf(event.modifiers)},
                             {"windowsVirtualKeyCode", event.windows_key_code},
                             {"isSystemKey", event.is_system_key != 0}};
    CDomKey dom;
    switch (event.type) {
    case KEYEVENT_CHAR: {
        // A character event may carry its character in the key code alone.
        const wchar_t character = static_cast<wchar_t>(event.character ? event.character : event.windows_key_code);
        const wchar_t unmodified = static_cast<wchar_t>(event.unmodified_character);
        dom = DomKeyOfCharacter(character);
        params["type"] = "char";
        params["text"] = ToUtf8(std::wstring(1, character));
        params["unmodifiedText"] = ToUtf8(std::wstring(1, unmodified ? unmodified : character));
        break;
    }
    case KEYEVENT_KEYUP:
        dom = DomKeyOf(event.windows_key_code, event.modifiers);
        params["type"] = "keyUp";
        break;
    default:
        dom = DomKeyOf(event.windows_key_code, event.modifiers);
        params["type"] = "rawKeyDown";
        break;
    }
    if (!dom.key.empty())
        params["key"] = dom.key;
    if (!dom.code.empty())
        params["code"] = dom.code;
    return params;
}

} // namespace cefcompat
