#include "HostEntry.h"

UINT g_crashMessageId = 0;
int g_hostExitCode = kExitNoBrowser;

LONG WINAPI HostUnhandledExceptionFilter(EXCEPTION_POINTERS* /*exception*/)
{
    if (g_crashMessageId != 0) {
        DWORD recipients = BSM_APPLICATIONS;
        // Posting: a crashing process must not wait for the receivers.
        ::BroadcastSystemMessageW(BSF_POSTMESSAGE, &recipients, g_crashMessageId,
                                  static_cast<WPARAM>(::GetCurrentProcessId()), 0);
    }
    return EXCEPTION_EXECUTE_HANDLER;
}
