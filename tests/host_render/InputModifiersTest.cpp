// Modifier flags of input events, against a faked key state and, once, the real one.

#include "InputModifiers.h"

#include "include/internal/cef_types.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <set>

namespace {

constexpr LPARAM kExtended = LPARAM{1} << 24;

class CFakeKeys : public IKeyStateSource {
public:
    CFakeKeys& Down(std::initializer_list<int> keys)
    {
        m_down.insert(keys);
        return *this;
    }
    CFakeKeys& Toggled(std::initializer_list<int> keys)
    {
        m_toggled.insert(keys);
        return *this;
    }
    CFakeKeys& Swapped()
    {
        m_swapped = true;
        return *this;
    }

    SHORT KeyState(int virtualKey) const override
    {
        SHORT state = 0;
        if (m_down.count(virtualKey) != 0)
            state = static_cast<SHORT>(0x8000);
        if (m_toggled.count(virtualKey) != 0)
            state = static_cast<SHORT>(state | 1);
        return state;
    }
    bool MouseButtonsSwapped() const override { return m_swapped; }

private:
    std::set<int> m_down;
    std::set<int> m_toggled;
    bool m_swapped = false;
};

const uint32_t kAllMouseButtons =
    EVENTFLAG_LEFT_MOUSE_BUTTON | EVENTFLAG_MIDDLE_MOUSE_BUTTON | EVENTFLAG_RIGHT_MOUSE_BUTTON;

TEST(InputModifiers, HeldShiftControlAndAltGoWithEveryEvent)
{
    const CFakeKeys none;
    EXPECT_EQ(GetMouseModifiers(none), 0u);
    EXPECT_EQ(GetKeyboardModifiers(0, 0, none), 0u);

    CFakeKeys held;
    held.Down({VK_SHIFT, VK_CONTROL, VK_MENU});
    const uint32_t expected = EVENTFLAG_SHIFT_DOWN | EVENTFLAG_CONTROL_DOWN | EVENTFLAG_ALT_DOWN;
    EXPECT_EQ(GetMouseModifiers(held), expected);
    EXPECT_EQ(GetKeyboardModifiers('A', 0, held), expected);
}

TEST(InputModifiers, LockKeysCountWhenOnNotWhenHeldAndOnlyForKeys)
{
    CFakeKeys locks;
    locks.Toggled({VK_CAPITAL, VK_NUMLOCK});
    EXPECT_EQ(GetKeyboardModifiers(0, 0, locks), EVENTFLAG_CAPS_LOCK_ON | EVENTFLAG_NUM_LOCK_ON);
    EXPECT_EQ(GetMouseModifiers(locks), 0u);

    CFakeKeys capsOnly;
    capsOnly.Toggled({VK_CAPITAL});
    EXPECT_EQ(GetKeyboardModifiers(0, 0, capsOnly), static_cast<uint32_t>(EVENTFLAG_CAPS_LOCK_ON));

    // Holding Caps Lock down while it is off turns nothing on.
    CFakeKeys heldButOff;
    heldButOff.Down({VK_CAPITAL, VK_NUMLOCK});
    EXPECT_EQ(GetKeyboardModifiers(0, 0, heldButOff), 0u);
}

TEST(InputModifiers, MouseButtonsFollowTheUsersSwap)
{
    CFakeKeys left;
    left.Down({VK_LBUTTON});
    EXPECT_EQ(GetMouseModifiers(left), static_cast<uint32_t>(EVENTFLAG_LEFT_MOUSE_BUTTON));
    left.Swapped();
    EXPECT_EQ(GetMouseModifiers(left), static_cast<uint32_t>(EVENTFLAG_RIGHT_MOUSE_BUTTON));

    CFakeKeys right;
    right.Down({VK_RBUTTON}).Swapped();
    EXPECT_EQ(GetMouseModifiers(right), static_cast<uint32_t>(EVENTFLAG_LEFT_MOUSE_BUTTON));

    CFakeKeys middle;
    middle.Down({VK_MBUTTON}).Swapped();
    EXPECT_EQ(GetMouseModifiers(middle), static_cast<uint32_t>(EVENTFLAG_MIDDLE_MOUSE_BUTTON));

    CFakeKeys all;
    all.Down({VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_SHIFT});
    EXPECT_EQ(GetMouseModifiers(all), kAllMouseButtons | EVENTFLAG_SHIFT_DOWN);
    EXPECT_EQ(GetKeyboardModifiers(VK_LBUTTON, 0, all) & kAllMouseButtons, 0u)
        << "key events never carry mouse buttons";
}

TEST(InputModifiers, ShiftControlAndAltKeysTellTheirSide)
{
    struct Case {
        int key;
        int leftKey;
        int rightKey;
        uint32_t held;
    };
    for (const Case& c : {Case{VK_SHIFT, VK_LSHIFT, VK_RSHIFT, EVENTFLAG_SHIFT_DOWN},
                          Case{VK_CONTROL, VK_LCONTROL, VK_RCONTROL, EVENTFLAG_CONTROL_DOWN},
                          Case{VK_MENU, VK_LMENU, VK_RMENU, EVENTFLAG_ALT_DOWN}}) {
        CFakeKeys right;
        right.Down({c.key, c.rightKey});
        EXPECT_EQ(GetKeyboardModifiers(c.key, 0, right), c.held | EVENTFLAG_IS_RIGHT) << c.key;

        CFakeKeys left;
        left.Down({c.key, c.leftKey});
        EXPECT_EQ(GetKeyboardModifiers(c.key, 0, left), c.held | EVENTFLAG_IS_LEFT) << c.key;

        // Both held: the left one wins. Neither (a synthesised key): no side.
        CFakeKeys both;
        both.Down({c.key, c.leftKey, c.rightKey});
        EXPECT_EQ(GetKeyboardModifiers(c.key, 0, both), c.held | EVENTFLAG_IS_LEFT) << c.key;
        CFakeKeys neither;
        neither.Down({c.key});
        EXPECT_EQ(GetKeyboardModifiers(c.key, 0, neither), c.held) << c.key;

        // The side belongs to the modifier key's own event only.
        EXPECT_EQ(GetKeyboardModifiers('A', 0, right), c.held) << c.key;
    }
}

TEST(InputModifiers, WindowsKeysAreLeftAndRightWhateverIsHeld)
{
    const CFakeKeys none;
    EXPECT_EQ(GetKeyboardModifiers(VK_LWIN, 0, none), static_cast<uint32_t>(EVENTFLAG_IS_LEFT));
    EXPECT_EQ(GetKeyboardModifiers(VK_RWIN, kExtended, none), static_cast<uint32_t>(EVENTFLAG_IS_RIGHT));
    EXPECT_EQ(GetKeyboardModifiers(VK_APPS, kExtended, none), 0u);
}

TEST(InputModifiers, KeypadKeysAreMarkedWhateverTheExtendedBit)
{
    const CFakeKeys none;
    std::vector<int> keypad{VK_CLEAR, VK_NUMLOCK};
    for (int key = VK_NUMPAD0; key <= VK_ADD; ++key)
        keypad.push_back(key);
    keypad.insert(keypad.end(), {VK_SUBTRACT, VK_DECIMAL, VK_DIVIDE});
    for (int key : keypad) {
        EXPECT_EQ(GetKeyboardModifiers(key, 0, none), static_cast<uint32_t>(EVENTFLAG_IS_KEY_PAD)) << key;
        EXPECT_EQ(GetKeyboardModifiers(key, kExtended, none), static_cast<uint32_t>(EVENTFLAG_IS_KEY_PAD)) << key;
    }
    EXPECT_EQ(GetKeyboardModifiers(VK_SEPARATOR, 0, none), 0u);
    for (int key : {0, int{'A'}, int{'0'}, VK_F12, VK_ESCAPE, VK_TAB, VK_SPACE, VK_SNAPSHOT})
        EXPECT_EQ(GetKeyboardModifiers(key, kExtended, none), 0u) << key;
}

TEST(InputModifiers, NavigationKeysAreKeypadOnlyWithoutTheExtendedBit)
{
    const CFakeKeys none;
    for (int key : {VK_PRIOR, VK_NEXT, VK_END, VK_HOME, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_INSERT, VK_DELETE}) {
        EXPECT_EQ(GetKeyboardModifiers(key, 0, none), static_cast<uint32_t>(EVENTFLAG_IS_KEY_PAD)) << key;
        EXPECT_EQ(GetKeyboardModifiers(key, kExtended, none), 0u) << key;
    }
    // Enter is the other way round: keypad Enter is the extended one.
    EXPECT_EQ(GetKeyboardModifiers(VK_RETURN, kExtended, none), static_cast<uint32_t>(EVENTFLAG_IS_KEY_PAD));
    EXPECT_EQ(GetKeyboardModifiers(VK_RETURN, 0, none), 0u);
}

TEST(InputModifiers, OnlyTheExtendedBitOfTheKeyFlagsCounts)
{
    const CFakeKeys none;
    // Repeat count, scan code, context, previous state and transition bits all set.
    const LPARAM everythingElse = static_cast<LPARAM>(0xFEFFFFFFu);
    EXPECT_EQ(GetKeyboardModifiers(VK_LEFT, everythingElse, none), static_cast<uint32_t>(EVENTFLAG_IS_KEY_PAD));
    EXPECT_EQ(GetKeyboardModifiers(VK_LEFT, everythingElse | kExtended, none), 0u);
}

// The default source reads the calling thread's keyboard state.
TEST(InputModifiers, TheThreadsOwnKeyStateIsReadByDefault)
{
    std::array<BYTE, 256> saved{};
    ASSERT_TRUE(::GetKeyboardState(saved.data()));
    std::array<BYTE, 256> state{};
    state[VK_SHIFT] = 0x80;
    state[VK_RSHIFT] = 0x80;
    state[VK_CAPITAL] = 0x01;
    ASSERT_TRUE(::SetKeyboardState(state.data()));

    const uint32_t keyboard = GetKeyboardModifiers(VK_SHIFT, 0);
    const uint32_t mouse = GetMouseModifiers();
    ::SetKeyboardState(saved.data());

    EXPECT_EQ(keyboard, EVENTFLAG_SHIFT_DOWN | EVENTFLAG_IS_RIGHT | EVENTFLAG_CAPS_LOCK_ON);
    EXPECT_EQ(mouse, static_cast<uint32_t>(EVENTFLAG_SHIFT_DOWN));
}

} // namespace
