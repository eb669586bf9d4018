#include "HostUnderTest.h"

#include "SharedBlock.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr DWORD kCommandTimeoutMs = 30000;

// Lossy frames (JPEG) come close to a colour, not onto it.
bool Near(uint32_t actual, uint32_t expected)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference =
            static_cast<int>((actual >> shift) & 0xFF) - static_cast<int>((expected >> shift) & 0xFF);
        if (difference > 32 || difference < -32)
            return false;
    }
    return true;
}

} // namespace

CHostUnderTest::CHostUnderTest(int32_t index)
    : m_index(index),
      m_channel(static_cast<int32_t>(::GetCurrentProcessId()), index, this),
      m_pixels(NsChannel::kPixelCapacity)
{
}

CHostUnderTest::~CHostUnderTest()
{
    Kill();
    // The channel's thread calls into this object: it ends before the members go.
    m_channel.Close();
}

bool CHostUnderTest::Launch(const std::wstring& hostPath, const std::wstring& address, DWORD timeoutMs)
{
    if (!m_channel.Open(true))
        return false;
    std::wstring commandLine = L"\"" + hostPath + L"\" --idx=" + std::to_wstring(m_index) + L" --pid=" +
                               std::to_wstring(::GetCurrentProcessId()) + L" --cefcompat-engine=scripted " + address;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!::CreateProcessW(hostPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &created))
        return false;
    const NsWin32::CKernelHandle thread(created.hThread);
    m_process.Reset(created.hProcess);
    return m_channel.WaitForClient(timeoutMs, m_process.Get());
}

void CHostUnderTest::OnFrameData(const unsigned char* frameHeader, uint32_t blockSize)
{
    NsChannel::FrameInfo info;
    if (blockSize < NsChannel::kFrameHeaderOffset ||
        !NsChannel::ReadFrameHeader(frameHeader, blockSize - NsChannel::kFrameHeaderOffset, info) ||
        info.pixelBytes > m_pixels.size())
        return;
    std::memcpy(m_pixels.data(), frameHeader + NsChannel::kFrameHeaderSize, info.pixelBytes);
    const std::lock_guard<std::mutex> guard(m_lock);
    m_frameWidth = info.width;
    m_frameHeight = info.height;
    if (m_watchX >= 0 && m_watchX < info.width && m_watchY >= 0 && m_watchY < info.height) {
        const uint8_t* pixel = &m_pixels[(static_cast<size_t>(m_watchY) * static_cast<size_t>(info.width) +
                                          static_cast<size_t>(m_watchX)) *
                                         4];
        m_watched = uint32_t{pixel[2]} << 16 | uint32_t{pixel[1]} << 8 | pixel[0];
    }
    ++m_frames;
    m_changed.notify_all();
}

void CHostUnderTest::OnBrowserEventData(const wchar_t* text, size_t length)
{
    const std::vector<std::u16string> events = NsChannel::SplitEventTexts(std::u16string(text, text + length));
    const std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& event : events)
        m_events.emplace_back(event.begin(), event.end());
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
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return Near(m_watched, rgb); });
}

bool CHostUnderTest::Send(const NsChannel::Command& command)
{
    NsChannel::CommandRecord record;
    return NsChannel::EncodeCommand(command, record) && m_channel.SendCommand(record, kCommandTimeoutMs);
}

std::optional<std::u16string> CHostUnderTest::QueryUrl()
{
    NsChannel::Command query;
    query.code = NsChannel::CMD_GET_URL;
    NsChannel::ReplyRecord record;
    NsChannel::Reply reply;
    if (!Send(query) || !m_channel.ReadReply(record, kCommandTimeoutMs) ||
        !NsChannel::DecodeReply(record.data(), record.size(), reply) || reply.kind != NsChannel::REPLY_URL)
        return std::nullopt;
    return reply.url;
}

bool CHostUnderTest::Close(DWORD timeoutMs)
{
    NsChannel::Command close;
    close.code = NsChannel::CMD_CLOSE;
    return m_process && Send(close) && ::WaitForSingleObject(m_process.Get(), timeoutMs) == WAIT_OBJECT_0;
}

void CHostUnderTest::Kill()
{
    if (m_process && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_process.Get(), 1);
        ::WaitForSingleObject(m_process.Get(), INFINITE);
    }
}
