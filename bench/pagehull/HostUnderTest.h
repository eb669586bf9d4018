#pragma once

// The add-in's side of one real Pagehull.exe, for measuring, on PagehullClient.dll as an add-in
// uses it: a receiving thread waits on the session, keeps every event text and copies every
// frame reported, counted. Commands and queries go through the session. Every wait has a time
// limit.

#include "Win32Handles.h"
#include "pagehull_client.hpp"

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Lossy frames (JPEG) come close to a colour (0x00RRGGBB), not onto it.
bool NearColour(uint32_t actual, uint32_t expected);

// Windows counts the private bytes of another process; Wine leaves that counter at zero for
// any process but the caller's own, so there the working set (resident bytes, the shared block
// and touched code included) stands in for it.
struct SMemorySample {
    double bytes = 0; // 0 when the counters cannot be read
    bool isWorkingSet = false;
};
SMemorySample PrivateBytes(HANDLE process);

class CHostUnderTest {
public:
    CHostUnderTest() = default;
    ~CHostUnderTest();

    CHostUnderTest(const CHostUnderTest&) = delete;
    CHostUnderTest& operator=(const CHostUnderTest&) = delete;

    // Starts the host with this process as its add-in; true once the host has opened the pipe.
    bool Launch(const std::wstring& hostPath, const std::wstring& address, const std::vector<std::wstring>& switches,
                DWORD timeoutMs);
    HANDLE Process() const { return m_process.Get(); }
    pagehull::Session& Session() { return m_session; }

    // Waits for an event text equal to `text` among all received so far.
    bool WaitForEvent(const std::wstring& text, DWORD timeoutMs);

    uint64_t FramesReceived();
    // Waits until more than `count` frames have been received; false after timeoutMs.
    bool WaitForFramesAbove(uint64_t count, DWORD timeoutMs);
    // Waits for a received frame of this size.
    bool WaitForFrameSize(int32_t width, int32_t height, DWORD timeoutMs);

    // From now on, the pixel at (x, y) of every frame received is kept.
    void WatchPixel(int32_t x, int32_t y);
    // Waits until a frame received has `rgb` (0x00RRGGBB), or a colour close to it, at the
    // watched pixel.
    bool WaitForPixel(uint32_t rgb, DWORD timeoutMs);

    // The address query's round trip; false without a reply.
    bool QueryUrl();

    // Sends the close command; true when the process ended within timeoutMs.
    bool Close(DWORD timeoutMs);

private:
    void Receive();
    void OnFrame();

    pagehull::Session m_session;
    NsWin32::CKernelHandle m_process;
    std::thread m_receiver;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::wstring> m_events;
    // Sized once for the largest frame, so receiving allocates nothing.
    pagehull::Frame m_frame;
    uint64_t m_frames = 0;
    int32_t m_frameWidth = 0;
    int32_t m_frameHeight = 0;
    int32_t m_watchX = -1;
    int32_t m_watchY = -1;
    uint32_t m_watched = 0;
};
