#include "engines/socket_io.h"

#include <algorithm>
#include <climits>

namespace cefcompat {

CStoppableSocketIo::CStoppableSocketIo(SOCKET socket, HANDLE stop)
    : m_socket(socket),
      m_stop(stop),
      m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

size_t CStoppableSocketIo::Receive(char* buffer, size_t size)
{
    return Transfer(true, buffer, size);
}

bool CStoppableSocketIo::SendAll(const char* bytes, size_t size)
{
    for (size_t sent = 0; sent < size;) {
        const size_t count = Transfer(false, const_cast<char*>(bytes + sent), size - sent);
        if (count == 0)
            return false;
        sent += count;
    }
    return true;
}

size_t CStoppableSocketIo::Transfer(bool receive, char* buffer, size_t size)
{
    if (!m_done || WaitForSingleObject(m_stop, 0) != WAIT_TIMEOUT)
        return 0;
    ResetEvent(m_done.Get());
    WSABUF chunk = {static_cast<ULONG>(std::min<size_t>(size, INT_MAX)), buffer};
    WSAOVERLAPPED overlapped = {};
    overlapped.hEvent = m_done.Get();
    DWORD flags = 0;
    const int started = receive ? WSARecv(m_socket, &chunk, 1, nullptr, &flags, &overlapped, nullptr)
                                : WSASend(m_socket, &chunk, 1, nullptr, 0, &overlapped, nullptr);
    if (started != 0 && WSAGetLastError() != WSA_IO_PENDING)
        return 0;
    const HANDLE waits[] = {m_done.Get(), m_stop};
    const bool stopped = WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0;
    // This thread's own transfer, the only one it has on the socket: CancelIo reaches it (and,
    // unlike CancelIoEx, exists on every Windows the runtime runs on).
    if (stopped)
        CancelIo(reinterpret_cast<HANDLE>(m_socket));
    // Waits, cancelled or not, until the transfer has let go of |buffer| and |overlapped|.
    DWORD moved = 0;
    const bool done = WSAGetOverlappedResult(m_socket, &overlapped, &moved, TRUE, &flags) != FALSE;
    return done && !stopped ? moved : 0;
}

} // namespace cefcompat
