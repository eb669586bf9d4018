#include "HostUnderTest.h"

#include "SharedBlock.h"

#include <psapi.h>

#include <algorithm>
#include <chrono>

namespace {

// How long the receiving thread waits at once; a closed session ends the wait earlier.
constexpr uint32_t kWaitSliceMs = 1000;

} // namespace

bool NearColour(uint32_t actual, uint32_t expected)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference =
            static_cast<int>((actual >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF);
        if (difference > 32 || difference < -32)
            return false;
    }
    return true;
}

SMemorySample PrivateBytes(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters) ==
        FALSE) {
        return {};
    }
    if (counters.PrivateUsage > 0)
        return {static_cast<double>(counters.PrivateUsage), false};
    return {static_cast<double>(counters.WorkingSetSize), true};
}

CHostUnderTest::~CHostUnderTest()
{
    // The receiving thread's wait returns once the session is closed; a host still running ends.
    m_session.Close(0);
    if (m_receiver.joinable())
        m_receiver.join();
}

bool CHostUnderTest::Launch(const std::wstring& hostPath, const std::wstring& address,
                            const std::vector<std::wstring>& switches, DWORD timeoutMs)
{
    m_frame.pixels.reserve(NsChannel::kPixelCapacity);
    if (m_session.Start(hostPath, address, switches, timeoutMs) != PH_OK)
        return false;
    m_process.Reset(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, m_session.HostProcessId()));
    m_receiver = std::thread([this] { Receive(); });
    return m_process.IsValid();
}

void CHostUnderTest::Receive()
{
    pagehull::Event event;
    for (;;) {
        const ph_status status = m_session.Wait(event, kWaitSliceMs);
        if (status == PH_TIMEOUT)
            continue;
        if (status != PH_OK || event.kind == PH_EVENT_HOST_ENDED)
            return;
        if (event.kind == PH_EVENT_FRAME) {
            OnFrame();
            continue;
        }
        const std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back(event.raw);
        m_changed.notify_all();
    }
}

void CHostUnderTest::OnFrame()
{
    if (m_session.CopyFrame(m_frame) != PH_OK)
        return;
    const std::lock_guard<std::mutex> guard(m_lock);
    m_frameWidth = m_frame.width;
    m_frameHeight = m_frame.height;
    if (m_watchX >= 0 && m_watchX < m_frame.width && m_watchY >= 0 && m_watchY < m_frame.height)
        m_watched = m_frame.At(m_watchX, m_watchY);
    ++m_frames;
    m_changed.notify_all();
}

bool CHostUnderTest::WaitForEvent(const std::wstring& text, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [&] { return std::find(m_events.begin(), m_events.end(), text) != m_events.end(); });
}

uint64_t CHostUnderTest::FramesReceived()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_frames;
}

bool CHostUnderTest::WaitForFramesAbove(uint64_t count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return m_frames > count; });
}

bool CHostUnderTest::WaitForFrameSize(int32_t width, int32_t height, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_frameWidth == width && m_frameHeight == height; });
}

void CHostUnderTest::WatchPixel(int32_t x, int32_t y)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_watchX = x;
    m_watchY = y;
}

bool CHostUnderTest::WaitForPixel(uint32_t rgb, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return NearColour(m_watched, rgb); });
}

bool CHostUnderTest::QueryUrl()
{
    std::wstring url;
    return m_session.GetUrl(url) == PH_OK;
}

bool CHostUnderTest::Close(DWORD timeoutMs)
{
    return m_process && m_session.CloseHost() == PH_OK &&
           ::WaitForSingleObject(m_process.Get(), timeoutMs) == WAIT_OBJECT_0;
}
