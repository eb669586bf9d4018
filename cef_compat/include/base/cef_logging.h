// DCHECK as CEF's base library has it: on in debug builds and wherever DCHECK_ALWAYS_ON is
// defined (our test builds), a no-op otherwise. A failed check writes the file, line and
// condition to stderr and the debugger, then ends the process on the spot (exit code
// STATUS_ASSERTION_FAILURE), so no code runs on after a broken rule. That failure is the
// project's one routine for broken code rules (common/DebugCheck.h), which the converter uses
// too.
#pragma once

#include "DebugCheck.h"

#define DCHECK_IS_ON() DEBUG_CHECK_IS_ON()

#if DCHECK_IS_ON()
#define DCHECK(condition) ((condition) ? static_cast<void>(0) : ::NsDebug::CheckFailed(__FILE__, __LINE__, #condition))
#else
#define DCHECK(condition) static_cast<void>(sizeof(!(condition)))
#endif
