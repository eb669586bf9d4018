// The render process's way to the browser process, usable from any thread of the render
// process and by objects that outlive the pipe (sends then fail quietly).
#pragma once

#include <mutex>
#include <string>

#include "runtime/ipc_channel.h"
#include "runtime/text.h"

namespace cefcompat {

class CRendererLink {
public:
    explicit CRendererLink(CIpcChannel* channel) : m_channel(channel) {}
    CRendererLink(const CRendererLink&) = delete;
    CRendererLink& operator=(const CRendererLink&) = delete;

    bool Send(const std::string& payload);
    // A journal line of the render process, kept by the browser process's journal.
    void Record(const CLine& line) { RecordText(line.Text()); }
    void RecordText(const std::string& line);
    void Detach();

private:
    std::mutex m_mutex;
    CIpcChannel* m_channel;
};

} // namespace cefcompat
