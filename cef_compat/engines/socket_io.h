// Reads or writes on an overlapped socket that another thread can end at any moment. A thread
// blocked in recv or send is not reliably woken by shutdown from another thread (Wine's is not:
// its shutdown ends only what comes afterwards, so such a thread waits for the peer for ever,
// and closing the socket under it frees what it is using). Here every transfer waits for its
// completion together with a stop event, cancels itself when that is set first, and returns only
// once the system is done with the caller's buffer.
#pragma once

#include <winsock2.h>

#include <cstddef>

#include "Win32Owners.h"

namespace cefcompat {

class CStoppableSocketIo {
public:
    // |socket| and |stop| (a manual-reset event) stay valid for the object's whole life. One
    // object serves one thread.
    CStoppableSocketIo(SOCKET socket, HANDLE stop);

    CStoppableSocketIo(const CStoppableSocketIo&) = delete;
    CStoppableSocketIo& operator=(const CStoppableSocketIo&) = delete;

    // Bytes received; 0 at the end of the stream, on an error, or once |stop| is set.
    size_t Receive(char* buffer, size_t size);
    // Sends all of |size| bytes; false on an error or once |stop| is set.
    bool SendAll(const char* bytes, size_t size);

private:
    size_t Transfer(bool receive, char* buffer, size_t size);

    const SOCKET m_socket;
    const HANDLE m_stop;
    NsWin32::CKernelHandle m_done; // the overlapped transfer's own event
};

} // namespace cefcompat
