#include "InputModifiers.h"

#include "include/internal/cef_types.h"

namespace {

constexpr LPARAM kExtendedKeyBit = LPARAM{1} << 24;

class CThreadKeyState : public IKeyStateSource {
public:
    SHORT KeyState(int virtualKey) const override { return ::GetKeyState(virtualKey); }
    bool MouseButtonsSwapped() const override { return ::GetSystemMetrics(SM_SWAPBUTTON) != 0; }
};

bool IsDown(const IKeyStateSource& keys, int virtualKey)
{
    return keys.KeyState(virtualKey) < 0;
}

bool IsToggled(const IKeyStateSource& keys, int virtualKey)
{
    return (keys.KeyState(virtualKey) & 1) != 0;
}

uint32_t HeldModifiers(const IKeyStateSource& keys)
{
    uint32_t flags = 0;
    if (IsDown(keys, VK_SHIFT))
        flags |= EVENTFLAG_SHIFT_DOWN;
    if (IsDown(keys, VK_CONTROL))
        flags |= EVENTFLAG_CONTROL_DOWN;
    if (IsDown(keys, VK_MENU))
        flags |= EVENTFLAG_ALT_DOWN;
    return flags;
}

uint32_t SideOf(const IKeyStateSource& keys, int leftKey, int rightKey)
{
    if (IsDown(keys, leftKey))
        return EVENTFLAG_IS_LEFT;
    if (IsDown(keys, rightKey))
        return EVENTFLAG_IS_RIGHT;
    return 0;
}

// The keypad's navigation keys share their codes with the separate block and differ only in
// the extended bit, which the separate block sets; keypad Enter is the extended one.
uint32_t KeyLocation(WPARAM keyCode, bool extended, const IKeyStateSource& keys)
{
    switch (keyCode) {
    case VK_RETURN: return extended ? EVENTFLAG_IS_KEY_PAD : 0;
    case VK_CLEAR:
    case VK_NUMPAD0:
    case VK_NUMPAD1:
    case VK_NUMPAD2:
    case VK_NUMPAD3:
    case VK_NUMPAD4:
    case VK_NUMPAD5:
    case VK_NUMPAD6:
    case VK_NUMPAD7:
    case VK_NUMPAD8:
    case VK_NUMPAD9:
    case VK_MULTIPLY:
    case VK_ADD:
    case VK_SUBTRACT:
    case VK_DECIMAL:
    case VK_DIVIDE:
    case VK_NUMLOCK: return EVENTFLAG_IS_KEY_PAD;
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE: return extended ? 0 : EVENTFLAG_IS_KEY_PAD;
    case VK_SHIFT: return SideOf(keys, VK_LSHIFT, VK_RSHIFT);
    case VK_CONTROL: return SideOf(keys, VK_LCONTROL, VK_RCONTROL);
    case VK_MENU: return SideOf(keys, VK_LMENU, VK_RMENU);
    case VK_LWIN: return EVENTFLAG_IS_LEFT;
    case VK_RWIN: return EVENTFLAG_IS_RIGHT;
    default: return 0;
    }
}

} // namespace

const IKeyStateSource& ThreadKeyState()
{
    static const CThreadKeyState state;
    return state;
}

uint32_t GetMouseModifiers(const IKeyStateSource& keys)
{
    uint32_t flags = HeldModifiers(keys);
    const bool swapped = keys.MouseButtonsSwapped();
    if (IsDown(keys, VK_LBUTTON))
        flags |= swapped ? EVENTFLAG_RIGHT_MOUSE_BUTTON : EVENTFLAG_LEFT_MOUSE_BUTTON;
    if (IsDown(keys, VK_RBUTTON))
        flags |= swapped ? EVENTFLAG_LEFT_MOUSE_BUTTON : EVENTFLAG_RIGHT_MOUSE_BUTTON;
    if (IsDown(keys, VK_MBUTTON))
        flags |= EVENTFLAG_MIDDLE_MOUSE_BUTTON;
    return flags;
}

uint32_t GetKeyboardModifiers(WPARAM keyCode, LPARAM keyFlags, const IKeyStateSource& keys)
{
    uint32_t flags = HeldModifiers(keys);
    if (IsToggled(keys, VK_NUMLOCK))
        flags |= EVENTFLAG_NUM_LOCK_ON;
    if (IsToggled(keys, VK_CAPITAL))
        flags |= EVENTFLAG_CAPS_LOCK_ON;
    return flags | KeyLocation(keyCode, (keyFlags & kExtendedKeyBit) != 0, keys);
}
