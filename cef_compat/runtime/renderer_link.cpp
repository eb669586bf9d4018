#include "runtime/renderer_link.h"

#include "runtime/ipc_messages.h"
#include "runtime/renderer_host.h"

namespace cefcompat {

bool CRendererLink::Send(const std::string& payload)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_channel && m_channel->Send(payload);
}

void CRendererLink::RecordText(const std::string& line)
{
    CWireWriter message = IpcMessage(CIpcType::kJournal);
    message.Text(FromUtf8(line));
    Send(message.Bytes());
}

void CRendererLink::Detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_channel = nullptr;
}

} // namespace cefcompat
