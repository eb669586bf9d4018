#pragma once

// Icon resources of the executable; the window class loads them by these numbers.
#define IDI_PAGEHULL 107
#define IDI_SMALL 108
