// Build-time helpers shared by every header of the API.
#pragma once

#ifndef OVERRIDE
#define OVERRIDE override
#endif

#ifndef ALLOW_UNUSED_LOCAL
#define ALLOW_UNUSED_LOCAL(x) ((void)(x))
#endif
