#pragma once

// The file and path utilities are part of the library's interface. Code built into the
// library (and its tests, which link the same objects) exports them; everyone else imports
// them from Slidewarp.dll.
#ifdef SLIDEWARP_BUILD
#define SLIDEWARP_API __declspec(dllexport)
#else
#define SLIDEWARP_API __declspec(dllimport)
#endif
