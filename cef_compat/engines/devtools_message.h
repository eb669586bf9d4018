// A DevTools message as text, made into JSON. Chromium writes page strings as UTF-16 code
// units, and a string the page cut in the middle of a character carries a lone surrogate
// (\uD83D) that no JSON parser for Unicode text accepts: the whole message, its id included,
// would be lost. Such escapes, and bytes that are not UTF-8, become U+FFFD first.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace cefcompat {

// |text| with every lone surrogate escape written \uFFFD and every byte that is not part of a
// UTF-8 sequence written as U+FFFD; everything else, escaped surrogate pairs included, as it was.
std::string SanitiseDevToolsText(const std::string& text);

// The message as an object; nothing when it is not JSON or not an object.
std::optional<nlohmann::json> ParseDevToolsMessage(const std::string& text);

} // namespace cefcompat
