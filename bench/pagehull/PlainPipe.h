#pragma once

// The baselines of the command path: the same records on a plain named pipe (same type and
// buffer sizes as the channel's, synchronous I/O, no events, no shared block) between this
// program and a copy of itself that plays the host.

#include "Win32Handles.h"

#include <windows.h>

#include <string>

class CPlainPipe {
public:
    CPlainPipe() = default;
    ~CPlainPipe();

    CPlainPipe(const CPlainPipe&) = delete;
    CPlainPipe& operator=(const CPlainPipe&) = delete;

    // Starts `selfPath` as the peer and connects to the pipe it creates.
    bool Start(const std::wstring& selfPath, DWORD timeoutMs);
    // A command record out, a reply record back, each behind its length.
    bool RoundTrip();
    // A command record out, with no reply.
    bool SendCommand();

private:
    NsWin32::CKernelHandle m_peer;
    NsWin32::CFileHandle m_pipe;
};

// The peer's side, run by the program when started with the peer switch: answers a query
// record with a reply record and reads every other record off the pipe, until it breaks.
int RunPlainPipePeer(const std::wstring& pipeName, const std::wstring& readyName);

// The switch that makes the program the peer.
constexpr wchar_t kPlainPipePeerSwitch[] = L"--plain-pipe-peer";
