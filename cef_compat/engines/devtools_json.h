// Reading fields of DevTools messages, which come from another program: a field that is
// missing or of another type reads as empty or as the fallback, never as an error.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace cefcompat {

inline std::string Text(const nlohmann::json& object, const char* key)
{
    if (!object.is_object())
        return std::string();
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

inline int Number(const nlohmann::json& object, const char* key, int fallback)
{
    if (!object.is_object())
        return fallback;
    auto it = object.find(key);
    return it != object.end() && it->is_number() ? it->get<int>() : fallback;
}

// The object under |key|, or an empty one.
inline nlohmann::json Member(const nlohmann::json& object, const char* key)
{
    if (!object.is_object())
        return nlohmann::json::object();
    auto it = object.find(key);
    return it != object.end() && it->is_object() ? *it : nlohmann::json::object();
}

// The array under |key|, or an empty one.
inline const nlohmann::json& ArrayOf(const nlohmann::json& object, const char* key)
{
    static const nlohmann::json kEmpty = nlohmann::json::array();
    if (!object.is_object())
        return kEmpty;
    const auto it = object.find(key);
    return it != object.end() && it->is_array() ? *it : kEmpty;
}

// True only for a true boolean under |key|.
inline bool Flag(const nlohmann::json& object, const char* key)
{
    if (!object.is_object())
        return false;
    const auto it = object.find(key);
    return it != object.end() && it->is_boolean() && it->get<bool>();
}

} // namespace cefcompat
