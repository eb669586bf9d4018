#pragma once

// Pipe transfers that can always be ended: each waits for its own completion, a stop
// signal and a time-out, and cancels what is still pending before it returns, so no buffer
// is in use after the call.

#include <windows.h>

namespace NsWin32 {

enum class PipeIoResult {
    Done,
    Failed, // the pipe broke, or the other end closed it
    Stopped,
    TimedOut,
};

// Reads exactly `size` bytes, over as many reads as the pipe needs. The handle must have
// been opened for overlapped I/O. stopSignal may be null.
PipeIoResult ReadPipe(HANDLE pipe, void* buffer, DWORD size, HANDLE stopSignal, DWORD timeoutMs);
PipeIoResult WritePipe(HANDLE pipe, const void* data, DWORD size, HANDLE stopSignal, DWORD timeoutMs);
// Server end: waits until a client has opened the pipe (also when it did so earlier).
PipeIoResult ConnectPipe(HANDLE pipe, HANDLE stopSignal, DWORD timeoutMs);

// The time left of a budget that started at construction; INFINITE stays infinite.
class CDeadline {
public:
    explicit CDeadline(DWORD timeoutMs) : m_start(::GetTickCount()), m_timeoutMs(timeoutMs) {}
    DWORD Remaining() const;

private:
    DWORD m_start;
    DWORD m_timeoutMs;
};

} // namespace NsWin32
