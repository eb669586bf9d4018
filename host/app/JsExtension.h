#pragma once

// The bridge from page script to the add-in: every renderer registers an extension that
// gives each page brelvo.Mevora.dispatchEvent and brelvo.Mevora.addinTrace. A call becomes a
// process message to the browser process, whose window passes the string on as an event.

// Names of the two process messages; the browser process recognises page script's strings
// by them.
extern const wchar_t g_jsDispatchMessageName[];
extern const wchar_t g_addinTraceMessageName[];

// Render process, when its script engine starts and before any page script runs.
void RegisterPageScriptExtension();
