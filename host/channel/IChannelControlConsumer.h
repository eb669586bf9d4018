#pragma once

#include <cstddef>
#include <cstdint>

// Receives what a CChannelControl reads. Every operation runs on the channel's own thread:
// OnChannelData on the client role's pipe reader, the other two on the server role's thread.
class IChannelControlConsumer {
public:
    virtual ~IChannelControlConsumer() = default;

    // One record read from the pipe. The buffer belongs to the reader and is valid (and
    // writable) only during the call.
    virtual void OnChannelData(unsigned char* /*record*/, int32_t /*length*/) {}

    // Called with the frame mutex held; frameHeader is the width field of the shared block,
    // followed by the height and the pixels. blockSize is the size of the whole block.
    virtual void OnFrameData(const unsigned char* /*frameHeader*/, uint32_t /*blockSize*/) {}

    // A copy of the event area's text, taken (and the area emptied) under the event mutex;
    // the call itself runs after the mutex is released. A full area holds no terminator,
    // so the text comes with its length in code units.
    virtual void OnBrowserEventData(const wchar_t* /*text*/, size_t /*length*/) {}
};
