#include "InputForwarding.h"

#include "InputModifiers.h"
#include "SharedBlock.h"

#include <windowsx.h>

#include <algorithm>

using NsChannel::Command;

namespace NsClient {

namespace {

// WM_MOUSEHWHEEL, which the headers offer only from Vista's version on; older systems never send it.
constexpr UINT kHorizontalWheel = 0x020E;

Command MouseCommand(NsChannel::CommandCode code, int x, int y, uint32_t modifiers)
{
    Command command;
    command.code = code;
    command.x = x;
    command.y = y;
    command.modifiers = static_cast<int32_t>(modifiers);
    return command;
}

Command Click(LPARAM lParam, bool left, bool down)
{
    Command command =
        MouseCommand(NsChannel::CMD_MOUSE_CLICK, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), GetMouseModifiers());
    command.leftButton = left;
    command.buttonDown = down;
    return command;
}

// Wheel messages carry screen coordinates; the host's own window takes their modifiers from
// the keyboard alone.
Command Wheel(HWND window, WPARAM wParam, LPARAM lParam, bool horizontal)
{
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ScreenToClient(window, &point);
    Command command = MouseCommand(NsChannel::CMD_MOUSE_WHEEL, point.x, point.y, GetKeyboardModifiers(0, 0));
    const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
    (horizontal ? command.deltaX : command.deltaY) = delta;
    return command;
}

Command Key(WPARAM wParam, bool down, bool up, bool system)
{
    Command command;
    command.code = NsChannel::CMD_KEY;
    command.keyCode = static_cast<int32_t>(wParam);
    command.keyDown = down;
    command.keyUp = up;
    command.systemKey = system;
    return command;
}

Command Focus(bool focused)
{
    Command command;
    command.code = NsChannel::CMD_FOCUS;
    command.focused = focused;
    return command;
}

// The host publishes no frame larger than the shared block holds.
Command Resize(LPARAM lParam)
{
    Command command;
    command.code = NsChannel::CMD_RESIZE;
    command.width = std::clamp<int32_t>(LOWORD(lParam), 1, NsChannel::kMaxFrameWidth);
    command.height = std::clamp<int32_t>(HIWORD(lParam), 1, NsChannel::kMaxFrameHeight);
    return command;
}

} // namespace

std::vector<Command> InputCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    handled = true;
    switch (message) {
    case WM_MOUSEMOVE:
        return {
            MouseCommand(NsChannel::CMD_MOUSE_MOVE, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), GetMouseModifiers())};
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return {Click(lParam, true, true)};
    case WM_LBUTTONUP: return {Click(lParam, true, false)};
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: return {Click(lParam, false, true)};
    case WM_RBUTTONUP: return {Click(lParam, false, false)};
    case WM_MOUSEWHEEL: return {Wheel(window, wParam, lParam, false)};
    case kHorizontalWheel: return {Wheel(window, wParam, lParam, true)};
    case WM_KEYDOWN: return {Key(wParam, true, false, false)};
    case WM_SYSKEYDOWN: return {Key(wParam, true, false, true)};
    case WM_KEYUP: return {Key(wParam, false, true, false)};
    case WM_SYSKEYUP: return {Key(wParam, false, true, true)};
    case WM_CHAR: return {Key(wParam, false, false, false)};
    case WM_SYSCHAR: return {Key(wParam, false, false, true)};
    case WM_SETFOCUS: return {Focus(true)};
    case WM_KILLFOCUS: return {Focus(false)};
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED)
            return {};
        return {Resize(lParam)};
    default: handled = false; return {};
    }
}

} // namespace NsClient
