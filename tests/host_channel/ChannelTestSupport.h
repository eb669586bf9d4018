#pragma once

// What the channel tests share: keys of their own, the add-in's view of the named objects,
// a raw pipe server for writing arbitrary bytes, and a consumer that records what arrives.

#include "ChannelControl.h"
#include "TestTime.h"
#include "Win32Handles.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace NsChannelTest {

struct ChannelKey {
    int32_t processId;
    int32_t index;
};

// Each test takes a key of its own, so objects left behind never meet another test.
ChannelKey NextKey();

std::wstring Name(ChannelObject object, ChannelKey key);
NsWin32::CKernelHandle OpenNamedEvent(ChannelObject object, ChannelKey key);
NsWin32::CKernelHandle OpenNamedMutex(ChannelObject object, ChannelKey key);
bool IsSignalled(HANDLE handle);

// The shared block as the add-in maps it.
class CBlockView {
public:
    explicit CBlockView(ChannelKey key);
    unsigned char* Bytes() const { return m_view.Bytes(); }
    std::u16string EventText() const;
    int32_t FrameWidth() const;
    int32_t FrameHeight() const;

private:
    NsWin32::CKernelHandle m_mapping;
    NsWin32::CMappedView m_view;
};

// The add-in's end of the pipe, written byte by byte as a test likes.
class CRawPipeServer {
public:
    explicit CRawPipeServer(ChannelKey key);
    bool IsValid() const { return m_pipe.IsValid(); }
    bool Write(const void* data, DWORD size);
    bool WriteLength(int32_t length);
    bool WriteRecord(const std::vector<unsigned char>& record);
    bool Read(void* data, DWORD size);
    bool HasUnreadData() const;
    void Close() { m_pipe.Reset(); }

private:
    NsWin32::CFileHandle m_pipe;
};

// Another thread that holds one of the channel's mutexes until it is told to let go, or
// ends while holding it (the mutex is then abandoned).
class CMutexHolder {
public:
    CMutexHolder(ChannelObject mutex, ChannelKey key);
    ~CMutexHolder();
    void Release();
    void EndWithoutRelease();

private:
    enum class Ending { Release, Abandon };
    void Finish(Ending ending);
    static DWORD WINAPI Run(void* holder);

    NsWin32::CKernelHandle m_mutex;
    NsWin32::CKernelHandle m_held;
    NsWin32::CKernelHandle m_finish;
    Ending m_ending = Ending::Release;
    NsWin32::CThreadOwner m_thread;
};

// True when some other thread can take the mutex at once: nobody holds it.
bool IsMutexFree(HANDLE mutex);

// Records what a channel hands on and lets a test wait for it.
class CRecordingConsumer : public IChannelControlConsumer {
public:
    struct Frame {
        int32_t width;
        int32_t height;
        std::vector<unsigned char> pixels;
    };

    void OnChannelData(unsigned char* record, int32_t length) override;
    void OnFrameData(const unsigned char* frameHeader, uint32_t blockSize) override;
    void OnBrowserEventData(const wchar_t* text, size_t length) override;

    bool WaitForRecords(size_t count, DWORD timeoutMs);
    bool WaitForFrames(size_t count, DWORD timeoutMs);
    bool WaitForEvents(size_t count, DWORD timeoutMs);

    std::vector<std::vector<unsigned char>> Records();
    std::vector<Frame> Frames();
    std::vector<std::wstring> Events();

private:
    template <typename Items>
    bool WaitFor(const Items& items, size_t count, DWORD timeoutMs);

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::vector<unsigned char>> m_records;
    std::vector<Frame> m_frames;
    std::vector<std::wstring> m_events;
};

} // namespace NsChannelTest
