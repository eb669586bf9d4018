#include "OverlappedPipe.h"

#include "Win32Handles.h"

namespace NsWin32 {

namespace {

// Runs one overlapped operation to its end. `start` issues it and returns what the issuing
// call returned. An operation that is stopped or times out is cancelled and waited for; if
// it completed meanwhile, its result counts.
template <typename Start>
PipeIoResult RunOverlapped(HANDLE pipe, Start start, HANDLE stopSignal, DWORD timeoutMs, DWORD& transferred)
{
    transferred = 0;
    CScopedHandle completed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!completed)
        return PipeIoResult::Failed;
    OVERLAPPED overlapped{};
    overlapped.hEvent = completed.Get();

    if (!start(&overlapped)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED)
            return PipeIoResult::Done;
        if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA)
            return PipeIoResult::Failed;
    }

    const HANDLE handles[2] = {completed.Get(), stopSignal};
    const DWORD wait = ::WaitForMultipleObjects(stopSignal ? 2 : 1, handles, FALSE, timeoutMs);
    PipeIoResult interrupted = PipeIoResult::Done;
    if (wait == WAIT_OBJECT_0 + 1)
        interrupted = PipeIoResult::Stopped;
    else if (wait == WAIT_TIMEOUT)
        interrupted = PipeIoResult::TimedOut;
    else if (wait != WAIT_OBJECT_0)
        interrupted = PipeIoResult::Failed;
    if (interrupted != PipeIoResult::Done)
        ::CancelIo(pipe);

    // A message longer than the buffer still delivers the part that fits; the rest follows
    // with the next read.
    if (::GetOverlappedResult(pipe, &overlapped, &transferred, TRUE) || ::GetLastError() == ERROR_MORE_DATA)
        return PipeIoResult::Done;
    return interrupted != PipeIoResult::Done ? interrupted : PipeIoResult::Failed;
}

// Moves `size` bytes in as many steps as the pipe takes. A step that moves nothing ends the
// transfer as failed, so a dead pipe can never make the caller spin.
template <typename Step>
PipeIoResult TransferAll(HANDLE pipe, DWORD size, HANDLE stopSignal, DWORD timeoutMs, Step step)
{
    const CDeadline deadline(timeoutMs);
    DWORD done = 0;
    while (done < size) {
        DWORD moved = 0;
        const auto issue = [&](OVERLAPPED* overlapped) { return step(done, size - done, overlapped); };
        const PipeIoResult result = RunOverlapped(pipe, issue, stopSignal, deadline.Remaining(), moved);
        if (result != PipeIoResult::Done)
            return result;
        if (moved == 0)
            return PipeIoResult::Failed;
        done += moved;
    }
    return PipeIoResult::Done;
}

} // namespace

DWORD CDeadline::Remaining() const
{
    if (m_timeoutMs == INFINITE)
        return INFINITE;
    const DWORD elapsed = ::GetTickCount() - m_start;
    return elapsed >= m_timeoutMs ? 0 : m_timeoutMs - elapsed;
}

PipeIoResult ReadPipe(HANDLE pipe, void* buffer, DWORD size, HANDLE stopSignal, DWORD timeoutMs)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    return TransferAll(pipe, size, stopSignal, timeoutMs, [&](DWORD offset, DWORD count, OVERLAPPED* overlapped) {
        return ::ReadFile(pipe, bytes + offset, count, nullptr, overlapped);
    });
}

PipeIoResult WritePipe(HANDLE pipe, const void* data, DWORD size, HANDLE stopSignal, DWORD timeoutMs)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    return TransferAll(pipe, size, stopSignal, timeoutMs, [&](DWORD offset, DWORD count, OVERLAPPED* overlapped) {
        return ::WriteFile(pipe, bytes + offset, count, nullptr, overlapped);
    });
}

PipeIoResult ConnectPipe(HANDLE pipe, HANDLE stopSignal, DWORD timeoutMs)
{
    DWORD unused = 0;
    return RunOverlapped(
        pipe, [&](OVERLAPPED* overlapped) { return ::ConnectNamedPipe(pipe, overlapped); }, stopSignal, timeoutMs,
        unused);
}

} // namespace NsWin32
