#pragma once

// CEF's modifier flags for input events, computed from the host's own view of the keyboard
// and mouse at the moment of sending (not from the flags of the message or command).

#include <windows.h>

#include <cstdint>

// Where the key state comes from: the calling thread's state by default, a fake in tests.
class IKeyStateSource {
public:
    virtual ~IKeyStateSource() = default;
    // As GetKeyState: negative while the key is down, bit 0 set while a lock key is on.
    virtual SHORT KeyState(int virtualKey) const = 0;
    virtual bool MouseButtonsSwapped() const = 0;
};

// GetKeyState and the system's mouse-button setting, for the calling thread.
const IKeyStateSource& ThreadKeyState();

// Shift, Control, Alt and the mouse buttons held, the buttons as the user sees them when
// they are swapped. Lock keys are not reported.
uint32_t GetMouseModifiers(const IKeyStateSource& keys = ThreadKeyState());

// Shift, Control, Alt held, Num Lock and Caps Lock on, and where the key sits (keypad, left
// or right) for keyCode, a virtual-key code. Of keyFlags, the lParam of a key message, only
// the extended-key bit is used. Mouse buttons are not reported.
uint32_t GetKeyboardModifiers(WPARAM keyCode, LPARAM keyFlags, const IKeyStateSource& keys = ThreadKeyState());
