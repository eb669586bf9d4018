#include "ChannelTestSupport.h"

#include "ByteOrder.h"
#include "SharedBlock.h"

#include <atomic>
#include <chrono>

namespace NsChannelTest {

ChannelKey NextKey()
{
    static std::atomic<int32_t> nextIndex{100};
    return {static_cast<int32_t>(::GetCurrentProcessId()), nextIndex++};
}

std::wstring Name(ChannelObject object, ChannelKey key)
{
    return CChannelControl::ObjectName(object, key.processId, key.index);
}

NsWin32::CKernelHandle OpenNamedEvent(ChannelObject object, ChannelKey key)
{
    return NsWin32::CKernelHandle(::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, Name(object, key).c_str()));
}

NsWin32::CKernelHandle OpenNamedMutex(ChannelObject object, ChannelKey key)
{
    return NsWin32::CKernelHandle(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, Name(object, key).c_str()));
}

bool IsSignalled(HANDLE handle)
{
    return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

CBlockView::CBlockView(ChannelKey key)
    : m_mapping(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, Name(ChannelObject::Memory, key).c_str()))
{
    if (m_mapping)
        m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, NsChannel::kBlockSize));
}

std::u16string CBlockView::EventText() const
{
    return NsChannel::ReadEventArea(Bytes());
}

int32_t CBlockView::FrameWidth() const
{
    return NsChannel::ReadInt32(Bytes() + NsChannel::kFrameHeaderOffset);
}

int32_t CBlockView::FrameHeight() const
{
    return NsChannel::ReadInt32(Bytes() + NsChannel::kFrameHeaderOffset + 4);
}

CRawPipeServer::CRawPipeServer(ChannelKey key)
    : m_pipe(::CreateNamedPipeW(Name(ChannelObject::Pipe, key).c_str(), PIPE_ACCESS_DUPLEX,
                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 20480,
                                20480, 100, nullptr))
{
}

bool CRawPipeServer::Write(const void* data, DWORD size)
{
    DWORD written = 0;
    return ::WriteFile(m_pipe.Get(), data, size, &written, nullptr) && written == size;
}

bool CRawPipeServer::WriteLength(int32_t length)
{
    unsigned char prefix[4];
    NsChannel::WriteInt32(prefix, length);
    return Write(prefix, sizeof prefix);
}

bool CRawPipeServer::WriteRecord(const std::vector<unsigned char>& record)
{
    return WriteLength(static_cast<int32_t>(record.size())) && Write(record.data(), static_cast<DWORD>(record.size()));
}

bool CRawPipeServer::Read(void* data, DWORD size)
{
    auto* bytes = static_cast<unsigned char*>(data);
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!::ReadFile(m_pipe.Get(), bytes + done, size - done, &got, nullptr) && ::GetLastError() != ERROR_MORE_DATA)
            return false;
        if (got == 0)
            return false;
        done += got;
    }
    return true;
}

bool CRawPipeServer::HasUnreadData() const
{
    DWORD available = 0;
    return ::PeekNamedPipe(m_pipe.Get(), nullptr, 0, nullptr, &available, nullptr) && available > 0;
}

CMutexHolder::CMutexHolder(ChannelObject mutex, ChannelKey key)
    : m_mutex(OpenNamedMutex(mutex, key)),
      m_held(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_finish(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    m_thread.Start(&CMutexHolder::Run, this);
    ::WaitForSingleObject(m_held.Get(), 5000);
}

CMutexHolder::~CMutexHolder()
{
    Release();
}

void CMutexHolder::Release()
{
    Finish(Ending::Release);
}

void CMutexHolder::EndWithoutRelease()
{
    Finish(Ending::Abandon);
}

void CMutexHolder::Finish(Ending ending)
{
    if (!m_thread.IsStarted())
        return;
    m_ending = ending;
    ::SetEvent(m_finish.Get());
    m_thread.Join();
}

DWORD WINAPI CMutexHolder::Run(void* parameter)
{
    auto* holder = static_cast<CMutexHolder*>(parameter);
    ::WaitForSingleObject(holder->m_mutex.Get(), INFINITE);
    ::SetEvent(holder->m_held.Get());
    ::WaitForSingleObject(holder->m_finish.Get(), INFINITE);
    if (holder->m_ending == Ending::Release)
        ::ReleaseMutex(holder->m_mutex.Get());
    return 0;
}

namespace {

DWORD WINAPI TryTakeMutex(void* mutex)
{
    const DWORD result = ::WaitForSingleObject(mutex, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
        ::ReleaseMutex(mutex);
    return result;
}

} // namespace

bool IsMutexFree(HANDLE mutex)
{
    NsWin32::CKernelHandle thread(::CreateThread(nullptr, 0, &TryTakeMutex, mutex, 0, nullptr));
    ::WaitForSingleObject(thread.Get(), INFINITE);
    DWORD result = WAIT_FAILED;
    ::GetExitCodeThread(thread.Get(), &result);
    return result == WAIT_OBJECT_0;
}

void CRecordingConsumer::OnChannelData(unsigned char* record, int32_t length)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_records.emplace_back(record, record + length);
    m_changed.notify_all();
}

void CRecordingConsumer::OnFrameData(const unsigned char* frameHeader, uint32_t blockSize)
{
    NsChannel::FrameInfo info;
    const size_t available = blockSize - NsChannel::kFrameHeaderOffset;
    Frame frame{-1, -1, {}};
    if (NsChannel::ReadFrameHeader(frameHeader, available, info)) {
        const unsigned char* pixels = frameHeader + NsChannel::kFrameHeaderSize;
        frame = Frame{info.width, info.height, std::vector<unsigned char>(pixels, pixels + info.pixelBytes)};
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    m_frames.push_back(std::move(frame));
    m_changed.notify_all();
}

void CRecordingConsumer::OnBrowserEventData(const wchar_t* text, size_t length)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_events.emplace_back(text, length);
    m_changed.notify_all();
}

template <typename Items>
bool CRecordingConsumer::WaitFor(const Items& items, size_t count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return items.size() >= count; });
}

bool CRecordingConsumer::WaitForRecords(size_t count, DWORD timeoutMs)
{
    return WaitFor(m_records, count, timeoutMs);
}

bool CRecordingConsumer::WaitForFrames(size_t count, DWORD timeoutMs)
{
    return WaitFor(m_frames, count, timeoutMs);
}

bool CRecordingConsumer::WaitForEvents(size_t count, DWORD timeoutMs)
{
    return WaitFor(m_events, count, timeoutMs);
}

std::vector<std::vector<unsigned char>> CRecordingConsumer::Records()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_records;
}

std::vector<CRecordingConsumer::Frame> CRecordingConsumer::Frames()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_frames;
}

std::vector<std::wstring> CRecordingConsumer::Events()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

} // namespace NsChannelTest
