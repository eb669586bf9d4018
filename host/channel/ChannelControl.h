#pragma once

// The channel between the host and the add-in: a named pipe for commands and replies, and a
// shared block with a frame area and an event text area, each with its own mutex and event.
// The host takes the client role; the add-in's end (the server role) creates the pipe.

#include "CommandRecord.h"
#include "IChannelControlConsumer.h"
#include "OverlappedPipe.h"
#include "Win32Handles.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

enum class ChannelObject {
    BrowserEventSignal,
    BrowserEventMutex,
    ReplySignal,
    FrameSignal,
    FrameMutex,
    Memory,
    Pipe,
};

class CChannelControl {
public:
    CChannelControl(int32_t processId, int32_t index, IChannelControlConsumer* consumer);
    ~CChannelControl();

    CChannelControl(const CChannelControl&) = delete;
    CChannelControl& operator=(const CChannelControl&) = delete;

    // A host started without the add-in's switches (pid 0, idx -1) has no channel.
    static bool IsValidKey(int32_t processId, int32_t index);
    static std::wstring ObjectName(ChannelObject object, int32_t processId, int32_t index);

    // Creates or opens every object and takes the role. True when the channel is usable; an
    // open channel stays as it is.
    bool Open(bool serverRole);
    // Ends the role's thread, then releases every object. Must not be called from inside a
    // consumer callback.
    void Close();
    bool IsOpen() const { return m_open; }
    // True when no pipe reader runs (none started, or it ended because the pipe broke),
    // waiting at most timeoutMs for it to end.
    bool WaitForReaderEnd(DWORD timeoutMs) const;

    // The frame width field of the shared block, or null while closed.
    unsigned char* FrameHeader() const;

    // Host side.
    void WriteFrame(int32_t width, int32_t height, const void* pixels, uint32_t byteCount);
    void WriteBrowserEvent(const wchar_t* text, size_t length);
    void WriteReply(const NsChannel::ReplyRecord& reply);

    // Add-in side (server role).
    bool CreatePipeServer(bool terminateFirst);
    // True once a client has opened the pipe, waiting at most timeoutMs for it; false as
    // soon as giveUpSignal (optional, for example the host's process) is set.
    bool WaitForClient(DWORD timeoutMs, HANDLE giveUpSignal = nullptr);
    // Writes the length and a command record; false when the pipe fails or stays full.
    bool SendCommand(const NsChannel::CommandRecord& command, DWORD timeoutMs);
    // Reads one reply (length and record) from the pipe, as soon as it comes; the host's reply
    // signal, set after both writes, is left to anyone else who waits for it.
    bool ReadReply(NsChannel::ReplyRecord& reply, DWORD timeoutMs);
    // Calls read with the frame header (as OnFrameData gets it) under the frame mutex, waiting
    // at most timeoutMs for the mutex; false when it did not come or the channel is closed.
    bool ReadFrameArea(const std::function<void(const unsigned char* frameHeader, uint32_t blockSize)>& read,
                       DWORD timeoutMs);

private:
    static bool IsWritableFrame(int32_t width, int32_t height, const void* pixels, uint32_t byteCount);
    static DWORD WINAPI PipeReaderThread(void* channel);
    static DWORD WINAPI PipeServerThread(void* channel);

    bool CreateSharedObjects();
    bool OpenPipeClient();
    void StopThreads();
    void ReadCommands();
    bool ReadOneRecord(NsWin32::CBufferedPipeReader& reader);
    void ServeSignals();
    void ServeFrame();
    void ServeBrowserEvent();

    int32_t m_processId;
    int32_t m_index;
    IChannelControlConsumer* m_consumer;
    bool m_open = false;
    NsWin32::CKernelHandle m_browserEventSignal;
    NsWin32::CKernelHandle m_browserEventMutex;
    NsWin32::CKernelHandle m_replySignal;
    NsWin32::CKernelHandle m_frameSignal;
    NsWin32::CKernelHandle m_frameMutex;
    uint32_t m_blockSize;
    NsWin32::CKernelHandle m_mapping;
    NsWin32::CMappedView m_view;
    bool m_serverRole = false;
    NsWin32::CFileHandle m_pipe;
    // The replies' transfers; they run on the reader thread only.
    NsWin32::CPipeIo m_replyIo;
    // Server role: the add-in's commands and its reads of replies, from whichever threads
    // call; each direction has its own lock, so a full pipe one way never holds up the other.
    std::mutex m_commandIoLock;
    NsWin32::CPipeIo m_commandIo;
    std::mutex m_replyReadLock;
    NsWin32::CPipeIo m_replyReadIo;
    // Set by Close to end whichever thread runs; both wait on it besides their own work.
    NsWin32::CKernelHandle m_stopSignal;
    // Set with it: the reader takes buffered records without waiting, and so without seeing
    // the signal, for as long as the add-in keeps writing.
    std::atomic<bool> m_stopping{false};
    // Server role: set once a client has opened the pipe.
    NsWin32::CKernelHandle m_clientConnected;
    NsWin32::CThreadOwner m_serverThread;
    NsWin32::CThreadOwner m_readerThread;
};
