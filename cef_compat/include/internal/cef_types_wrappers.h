// C++ wrappers of the API's plain structures: zero-initialised, size filled in, strings
// copied and freed with the wrapper.
#pragma once

#include <cstring>

#include "include/internal/cef_string.h"
#include "include/internal/cef_types.h"

// Traits name the structure (struct_type) and its string members (kStringFields).
template <class Traits>
class CefStructBase : public Traits::struct_type {
public:
    typedef typename Traits::struct_type struct_type;

    CefStructBase() { Init(); }
    CefStructBase(const CefStructBase& r) : CefStructBase() { Set(r); }
    CefStructBase(const struct_type& r) : CefStructBase() { Set(r); }
    ~CefStructBase() { Clear(); }

    CefStructBase& operator=(const CefStructBase& s) { return *this = static_cast<const struct_type&>(s); }
    CefStructBase& operator=(const struct_type& s)
    {
        if (&s != this)
            Set(s);
        return *this;
    }

    void Reset()
    {
        Clear();
        Init();
    }

private:
    void Init()
    {
        std::memset(static_cast<struct_type*>(this), 0, sizeof(struct_type));
        this->size = sizeof(struct_type);
    }
    void Clear()
    {
        for (auto field : Traits::kStringFields)
            cef_string_clear(&(this->*field));
    }
    void Set(const struct_type& src)
    {
        Clear();
        std::memcpy(static_cast<struct_type*>(this), &src, sizeof(struct_type));
        for (auto field : Traits::kStringFields) {
            cef_string_t& mine = this->*field;
            const cef_string_t& theirs = src.*field;
            mine = cef_string_t();
            cef_string_set(theirs.str, theirs.length, &mine, 1);
        }
        this->size = sizeof(struct_type);
    }
};

// Plain structures without strings or size field.
template <class Struct>
class CefPlainStruct : public Struct {
public:
    CefPlainStruct() { std::memset(static_cast<Struct*>(this), 0, sizeof(Struct)); }
    CefPlainStruct(const Struct& r) : Struct(r) {}
};

struct CefSettingsTraits {
    typedef cef_settings_t struct_type;
    static constexpr cef_string_t cef_settings_t::*kStringFields[] = {&cef_settings_t::browser_subprocess_path,
                                                                      &cef_settings_t::cache_path,
                                                                      &cef_settings_t::user_agent,
                                                                      &cef_settings_t::product_version,
                                                                      &cef_settings_t::locale,
                                                                      &cef_settings_t::log_file,
                                                                      &cef_settings_t::javascript_flags,
                                                                      &cef_settings_t::resources_dir_path,
                                                                      &cef_settings_t::locales_dir_path};
};
typedef CefStructBase<CefSettingsTraits> CefSettings;

struct CefBrowserSettingsTraits {
    typedef cef_browser_settings_t struct_type;
    static constexpr cef_string_t cef_browser_settings_t::*kStringFields[] = {
        &cef_browser_settings_t::standard_font_family, &cef_browser_settings_t::fixed_font_family,
        &cef_browser_settings_t::serif_font_family,    &cef_browser_settings_t::sans_serif_font_family,
        &cef_browser_settings_t::cursive_font_family,  &cef_browser_settings_t::fantasy_font_family,
        &cef_browser_settings_t::default_encoding};
};
typedef CefStructBase<CefBrowserSettingsTraits> CefBrowserSettings;

class CefRect : public CefPlainStruct<cef_rect_t> {
public:
    CefRect() = default;
    CefRect(const cef_rect_t& r) : CefPlainStruct<cef_rect_t>(r) {}
    CefRect(int x_val, int y_val, int width_val, int height_val) { Set(x_val, y_val, width_val, height_val); }
    void Set(int x_val, int y_val, int width_val, int height_val)
    {
        x = x_val;
        y = y_val;
        width = width_val;
        height = height_val;
    }
    bool IsEmpty() const { return width <= 0 || height <= 0; }
    bool operator==(const CefRect& r) const { return x == r.x && y == r.y && width == r.width && height == r.height; }
    bool operator!=(const CefRect& r) const { return !(*this == r); }
};

class CefPoint : public CefPlainStruct<cef_point_t> {
public:
    CefPoint() = default;
    CefPoint(const cef_point_t& r) : CefPlainStruct<cef_point_t>(r) {}
    CefPoint(int x_val, int y_val) { Set(x_val, y_val); }
    void Set(int x_val, int y_val)
    {
        x = x_val;
        y = y_val;
    }
    bool operator==(const CefPoint& r) const { return x == r.x && y == r.y; }
    bool operator!=(const CefPoint& r) const { return !(*this == r); }
};

class CefSize : public CefPlainStruct<cef_size_t> {
public:
    CefSize() = default;
    CefSize(const cef_size_t& r) : CefPlainStruct<cef_size_t>(r) {}
    CefSize(int width_val, int height_val) { Set(width_val, height_val); }
    void Set(int width_val, int height_val)
    {
        width = width_val;
        height = height_val;
    }
    bool IsEmpty() const { return width <= 0 || height <= 0; }
};

class CefMouseEvent : public CefPlainStruct<cef_mouse_event_t> {
public:
    CefMouseEvent() = default;
    CefMouseEvent(const cef_mouse_event_t& r) : CefPlainStruct<cef_mouse_event_t>(r) {}
};

class CefKeyEvent : public CefPlainStruct<cef_key_event_t> {
public:
    CefKeyEvent() = default;
    CefKeyEvent(const cef_key_event_t& r) : CefPlainStruct<cef_key_event_t>(r) {}
};

class CefScreenInfo : public CefPlainStruct<cef_screen_info_t> {
public:
    CefScreenInfo() = default;
    CefScreenInfo(const cef_screen_info_t& r) : CefPlainStruct<cef_screen_info_t>(r) {}
};

class CefCursorInfo : public CefPlainStruct<cef_cursor_info_t> {
public:
    CefCursorInfo() = default;
    CefCursorInfo(const cef_cursor_info_t& r) : CefPlainStruct<cef_cursor_info_t>(r) {}
};

class CefPopupFeatures : public CefPlainStruct<cef_popup_features_t> {
public:
    CefPopupFeatures()
    {
        menuBarVisible = 1;
        statusBarVisible = 1;
        toolBarVisible = 1;
        locationBarVisible = 1;
        scrollbarsVisible = 1;
        resizable = 1;
    }
    CefPopupFeatures(const cef_popup_features_t& r) : CefPlainStruct<cef_popup_features_t>(r) {}
};
