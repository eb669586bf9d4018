#pragma once

// A window's input messages as the host's commands, with the modifier flags that the host's own
// window gives the same messages.

#include "CommandRecord.h"

#include <windows.h>

#include <vector>

namespace NsClient {

// The commands that the message stands for; none for a message that carries no input, and
// handled false for one that is not input at all.
std::vector<NsChannel::Command> InputCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

} // namespace NsClient
