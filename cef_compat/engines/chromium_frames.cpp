#include "engines/chromium_frames.h"

#include "runtime/text.h"

namespace cefcompat {

void CFrameRegistry::Reset(const std::string& mainFrame)
{
    m_mainFrame = mainFrame;
    m_subFrames.clear();
    m_contexts.clear();
    ForgetDocuments();
}

int64_t CFrameRegistry::SubFrame(const std::string& frame, const std::string& name)
{
    const auto known = m_subFrames.find(frame);
    if (known != m_subFrames.end())
        return known->second;
    if (m_subFrames.size() >= kMaxEntries)
        return 0;
    const int64_t id = m_site.CreateSubFrame(FromUtf8(name));
    m_subFrames[frame] = id;
    return id;
}

int64_t CFrameRegistry::Find(const std::string& frame) const
{
    if (frame == m_mainFrame)
        return m_site.MainFrameId();
    const auto known = m_subFrames.find(frame);
    return known != m_subFrames.end() ? known->second : 0;
}

std::string CFrameRegistry::DevToolsFrameOf(int64_t frameId) const
{
    if (frameId == m_site.MainFrameId())
        return m_mainFrame;
    for (const auto& frame : m_subFrames) {
        if (frame.second == frameId)
            return frame.first;
    }
    return std::string();
}

void CFrameRegistry::Detach(const std::string& frame)
{
    const auto known = m_subFrames.find(frame);
    if (known == m_subFrames.end())
        return;
    const int64_t id = known->second;
    m_subFrames.erase(known);
    m_contexts.erase(frame);
    m_status.erase(frame);
    m_site.DetachSubFrames(id);
}

void CFrameRegistry::DetachSubFrames()
{
    for (const auto& frame : m_subFrames) {
        m_contexts.erase(frame.first);
        m_status.erase(frame.first);
    }
    m_subFrames.clear();
    m_site.DetachSubFrames();
}

void CFrameRegistry::SetContext(const std::string& frame, const CScriptContext& context)
{
    if (m_contexts.size() < kMaxEntries || m_contexts.count(frame))
        m_contexts[frame] = context;
}

void CFrameRegistry::ForgetContext(const CScriptContext& context)
{
    for (auto known = m_contexts.begin(); known != m_contexts.end(); ++known) {
        if (known->second == context) {
            m_contexts.erase(known);
            return;
        }
    }
}

void CFrameRegistry::ForgetContexts(const std::string& session)
{
    for (auto known = m_contexts.begin(); known != m_contexts.end();) {
        if (known->second.session == session)
            known = m_contexts.erase(known);
        else
            ++known;
    }
}

CScriptContext CFrameRegistry::ContextOf(const std::string& frame) const
{
    const auto context = m_contexts.find(frame);
    return context != m_contexts.end() ? context->second : CScriptContext();
}

int64_t CFrameRegistry::FrameOfContext(const CScriptContext& context) const
{
    for (const auto& known : m_contexts) {
        if (known.second == context)
            return Find(known.first);
    }
    return 0;
}

void CFrameRegistry::DocumentRequested(const std::string& request, const std::string& frame)
{
    if (m_requests.size() < kMaxEntries)
        m_requests[request] = frame;
}

void CFrameRegistry::DocumentReceived(const std::string& frame, int status)
{
    if (m_status.size() < kMaxEntries || m_status.count(frame))
        m_status[frame] = status;
}

std::string CFrameRegistry::FrameOfRequest(const std::string& request) const
{
    const auto known = m_requests.find(request);
    return known != m_requests.end() ? known->second : std::string();
}

int CFrameRegistry::StatusOf(const std::string& frame) const
{
    const auto status = m_status.find(frame);
    return status != m_status.end() ? status->second : 200;
}

void CFrameRegistry::ForgetDocuments()
{
    m_status.clear();
    m_requests.clear();
}

} // namespace cefcompat
