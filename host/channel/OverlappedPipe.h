#pragma once

// Pipe transfers that can always be ended: each waits for its own completion, a stop
// signal and a time-out, and cancels what is still pending before it returns, so no buffer
// is in use after the call.

#include "Win32Handles.h"

#include <windows.h>

#include <vector>

namespace NsWin32 {

enum class PipeIoResult {
    Done,
    Failed, // the pipe broke, or the other end closed it
    Stopped,
    TimedOut,
};

// The transfers of one thread, one after another, with one completion event made once for all
// of them: a pipe's steady traffic then costs no event per transfer. Never shared between
// threads (the event must belong to one operation at a time).
class CPipeIo {
public:
    CPipeIo();

    CPipeIo(const CPipeIo&) = delete;
    CPipeIo& operator=(const CPipeIo&) = delete;

    // Reads exactly `size` bytes, over as many reads as the pipe needs. The handle must have
    // been opened for overlapped I/O. stopSignal may be null.
    PipeIoResult Read(HANDLE pipe, void* buffer, DWORD size, HANDLE stopSignal, DWORD timeoutMs);
    PipeIoResult Write(HANDLE pipe, const void* data, DWORD size, HANDLE stopSignal, DWORD timeoutMs);
    // One read of whatever has arrived, at least one byte and at most `size`; `received`
    // tells how many.
    PipeIoResult ReadSome(HANDLE pipe, void* buffer, DWORD size, HANDLE stopSignal, DWORD timeoutMs, DWORD& received);
    // Server end: waits until a client has opened the pipe (also when it did so earlier).
    PipeIoResult Connect(HANDLE pipe, HANDLE stopSignal, DWORD timeoutMs);

private:
    CKernelHandle m_completed;
};

// Reads a pipe in byte-read mode with as few transfers as the traffic allows: each transfer
// takes whatever has arrived (up to the buffer's size), and the reads after it are served
// from that first. Waits without time limit until the stop signal is set.
class CBufferedPipeReader {
public:
    CBufferedPipeReader(HANDLE pipe, HANDLE stopSignal);

    CBufferedPipeReader(const CBufferedPipeReader&) = delete;
    CBufferedPipeReader& operator=(const CBufferedPipeReader&) = delete;

    // Exactly `size` bytes, or a failure (then the bytes already taken are lost).
    PipeIoResult Read(void* buffer, DWORD size);
    // Takes `size` bytes off the pipe without keeping them.
    PipeIoResult Skip(DWORD size);

private:
    PipeIoResult Take(unsigned char* buffer, DWORD size);
    PipeIoResult Fill();

    HANDLE m_pipe;
    HANDLE m_stopSignal;
    CPipeIo m_io;
    std::vector<unsigned char> m_buffer;
    size_t m_begin = 0; // the bytes not yet taken: [m_begin, m_end)
    size_t m_end = 0;
};

// One transfer on its own, as CPipeIo does it.
PipeIoResult ReadPipe(HANDLE pipe, void* buffer, DWORD size, HANDLE stopSignal, DWORD timeoutMs);
PipeIoResult WritePipe(HANDLE pipe, const void* data, DWORD size, HANDLE stopSignal, DWORD timeoutMs);
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
