#include "OverlappedPipe.h"

#include <algorithm>
#include <cstring>

namespace NsWin32 {

namespace {

// Waits for a pending operation to complete, to be stopped or to time out; one that does not
// complete is cancelled.
PipeIoResult AwaitCompletion(HANDLE pipe, HANDLE completed, HANDLE stopSignal, DWORD timeoutMs)
{
    const HANDLE handles[2] = {completed, stopSignal};
    const DWORD wait = ::WaitForMultipleObjects(stopSignal ? 2 : 1, handles, FALSE, timeoutMs);
    if (wait == WAIT_OBJECT_0)
        return PipeIoResult::Done;
    ::CancelIo(pipe);
    if (wait == WAIT_OBJECT_0 + 1)
        return PipeIoResult::Stopped;
    return wait == WAIT_TIMEOUT ? PipeIoResult::TimedOut : PipeIoResult::Failed;
}

// Runs one overlapped operation to its end. `start` issues it and returns what the issuing
// call returned; the call resets the event. An operation that finished at once (the pipe had
// the data or the room) is not waited for. One that is stopped or times out is cancelled and
// waited for; if it completed meanwhile, its result counts.
template <typename Start>
PipeIoResult RunOverlapped(HANDLE pipe, HANDLE completed, Start start, HANDLE stopSignal, DWORD timeoutMs,
                           DWORD& transferred)
{
    transferred = 0;
    if (!completed)
        return PipeIoResult::Failed;
    OVERLAPPED overlapped{};
    overlapped.hEvent = completed;

    PipeIoResult interrupted = PipeIoResult::Done;
    if (!start(&overlapped)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED)
            return PipeIoResult::Done;
        if (error == ERROR_IO_PENDING)
            interrupted = AwaitCompletion(pipe, completed, stopSignal, timeoutMs);
        else if (error != ERROR_MORE_DATA)
            return PipeIoResult::Failed;
    }

    // A message longer than the buffer still delivers the part that fits; the rest follows
    // with the next read.
    if (::GetOverlappedResult(pipe, &overlapped, &transferred, TRUE) || ::GetLastError() == ERROR_MORE_DATA)
        return PipeIoResult::Done;
    return interrupted != PipeIoResult::Done ? interrupted : PipeIoResult::Failed;
}

// Moves `size` bytes in as many steps as the pipe takes. A step that moves nothing ends the
// transfer as failed, so a dead pipe can never make the caller spin.
template <typename Step>
PipeIoResult TransferAll(HANDLE pipe, HANDLE completed, DWORD size, HANDLE stopSignal, DWORD timeoutMs, Step step)
{
    const CDeadline deadline(timeoutMs);
    DWORD done = 0;
    while (done < size) {
        DWORD moved = 0;
        const auto issue = [&](OVERLAPPED* overlapped) { return step(done, size - done, overlapped); };
        const PipeIoResult result = RunOverlapped(pipe, completed, issue, stopSignal, deadline.Remaining(), moved);
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

CPipeIo::CPipeIo() : m_completed(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

PipeIoResult CPipeIo::Read(HANDLE pipe, void* buffer, DWORD size, HANDLE stopSignal, DWORD timeoutMs)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    return TransferAll(pipe, m_completed.Get(), size, stopSignal, timeoutMs,
                       [&](DWORD offset, DWORD count, OVERLAPPED* overlapped) {
                           return ::ReadFile(pipe, bytes + offset, count, nullptr, overlapped);
                       });
}

PipeIoResult CPipeIo::Write(HANDLE pipe, const void* data, DWORD size, HANDLE stopSignal, DWORD timeoutMs)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    return TransferAll(pipe, m_completed.Get(), size, stopSignal, timeoutMs,
                       [&](DWORD offset, DWORD count, OVERLAPPED* overlapped) {
                           return ::WriteFile(pipe, bytes + offset, count, nullptr, overlapped);
                       });
}

PipeIoResult CPipeIo::ReadSome(HANDLE pipe, void* buffer, DWORD size, HANDLE stopSignal, DWORD timeoutMs,
                               DWORD& received)
{
    const PipeIoResult result = RunOverlapped(
        pipe, m_completed.Get(),
        [&](OVERLAPPED* overlapped) { return ::ReadFile(pipe, buffer, size, nullptr, overlapped); }, stopSignal,
        timeoutMs, received);
    return result == PipeIoResult::Done && received == 0 ? PipeIoResult::Failed : result;
}

PipeIoResult CPipeIo::Connect(HANDLE pipe, HANDLE stopSignal, DWORD timeoutMs)
{
    DWORD unused = 0;
    // Reads and writes reset the event as they begin; a connection is not promised to.
    ::ResetEvent(m_completed.Get());
    return RunOverlapped(
        pipe, m_completed.Get(), [&](OVERLAPPED* overlapped) { return ::ConnectNamedPipe(pipe, overlapped); },
        stopSignal, timeoutMs, unused);
}

namespace {

// Bigger than the pipe's own buffers, so one transfer can take all that is waiting.
constexpr size_t kReadBufferSize = 32768;

} // namespace

CBufferedPipeReader::CBufferedPipeReader(HANDLE pipe, HANDLE stopSignal)
    : m_pipe(pipe),
      m_stopSignal(stopSignal),
      m_buffer(kReadBufferSize)
{
}

PipeIoResult CBufferedPipeReader::Read(void* buffer, DWORD size)
{
    return Take(static_cast<unsigned char*>(buffer), size);
}

PipeIoResult CBufferedPipeReader::Skip(DWORD size)
{
    return Take(nullptr, size);
}

PipeIoResult CBufferedPipeReader::Take(unsigned char* buffer, DWORD size)
{
    for (DWORD done = 0; done < size;) {
        if (m_begin == m_end) {
            const PipeIoResult filled = Fill();
            if (filled != PipeIoResult::Done)
                return filled;
        }
        const size_t part = std::min<size_t>(m_end - m_begin, size - done);
        if (buffer)
            std::memcpy(buffer + done, m_buffer.data() + m_begin, part);
        m_begin += part;
        done += static_cast<DWORD>(part);
    }
    return PipeIoResult::Done;
}

// Called only when everything buffered has been taken.
PipeIoResult CBufferedPipeReader::Fill()
{
    DWORD received = 0;
    const PipeIoResult result =
        m_io.ReadSome(m_pipe, m_buffer.data(), static_cast<DWORD>(m_buffer.size()), m_stopSignal, INFINITE, received);
    m_begin = 0;
    m_end = result == PipeIoResult::Done ? received : 0;
    return result;
}

PipeIoResult ReadPipe(HANDLE pipe, void* buffer, DWORD size, HANDLE stopSignal, DWORD timeoutMs)
{
    return CPipeIo().Read(pipe, buffer, size, stopSignal, timeoutMs);
}

PipeIoResult WritePipe(HANDLE pipe, const void* data, DWORD size, HANDLE stopSignal, DWORD timeoutMs)
{
    return CPipeIo().Write(pipe, data, size, stopSignal, timeoutMs);
}

PipeIoResult ConnectPipe(HANDLE pipe, HANDLE stopSignal, DWORD timeoutMs)
{
    return CPipeIo().Connect(pipe, stopSignal, timeoutMs);
}

} // namespace NsWin32
