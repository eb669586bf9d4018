// The C form of a string as it sits inside the API's structures.
#pragma once

#include "include/base/cef_basictypes.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _cef_string_utf16_t {
    char16* str;
    size_t length;
    void (*dtor)(char16* str);
} cef_string_utf16_t;

typedef cef_string_utf16_t cef_string_t;

// Sets |output| to |src_len| units of |src|. With |copy| the string owns a copy; without it
// |output| only refers to |src|. Returns 1 on success.
int cef_string_utf16_set(const char16* src, size_t src_len, cef_string_utf16_t* output, int copy);
// Frees what |str| owns and leaves it empty.
void cef_string_utf16_clear(cef_string_utf16_t* str);
// Compares like wcscmp over the counted units.
int cef_string_utf16_cmp(const cef_string_utf16_t* str1, const cef_string_utf16_t* str2);

#define cef_string_set cef_string_utf16_set
#define cef_string_clear cef_string_utf16_clear
#define cef_string_cmp cef_string_utf16_cmp

#ifdef __cplusplus
}
#endif
