// CEF's input events as the parameters of DevTools' Input.dispatchMouseEvent and
// Input.dispatchKeyEvent, the same for every page target (the browser's page and the
// developer tools).
#pragma once

#include <nlohmann/json.hpp>

#include "include/cef_base.h"

namespace cefcompat {

// Leaving the view is a move to a point outside it.
nlohmann::json MouseMoveParams(const CefMouseEvent& event, bool mouseLeave);
nlohmann::json MouseClickParams(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp,
                                int clickCount);
nlohmann::json MouseWheelParams(const CefMouseEvent& event, int deltaX, int deltaY);
nlohmann::json KeyParams(const CefKeyEvent& event);

} // namespace cefcompat
