#pragma once

// The scripted engine's control pipe in a host that runs on this project's CEF-compatible
// runtime: it lets a demo make the page act on its own (raise a dialog, follow a link), which
// no command of the add-in can do. One request per line, one answer per line.

#include "OverlappedPipe.h"
#include "Win32Handles.h"

#include <windows.h>

#include <optional>
#include <string>

class CEngineLink {
public:
    // Opens the pipe of the browser process `processId`; false when it has none.
    bool Connect(DWORD processId, DWORD timeoutMs);
    bool IsConnected() const { return m_pipe.IsValid(); }

    // Sends one request (without its line end) and returns the answer line, or nothing when
    // the pipe broke or no answer came in time.
    std::optional<std::string> Request(const std::string& request, DWORD timeoutMs);

private:
    NsWin32::CFileHandle m_pipe;
    NsWin32::CPipeIo m_io;
    std::string m_pending; // what has arrived after the last answer's line end
};
