// The page's frames as DevTools names them, with the runtime's frame for each, their default
// script contexts (each in the DevTools session of the target the frame runs in: the page's, or
// a frame of another site's own) and the documents they load. Sub-frames are created on first sight and go
// when Chromium detaches them or the main frame commits a new document. Everything here comes
// from Chromium and is bounded. UI thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "engines/page_engine.h"

namespace cefcompat {

// A script context as DevTools names it: ids count per session.
struct CScriptContext {
    std::string session;
    int id = 0;

    bool operator==(const CScriptContext& other) const { return id == other.id && session == other.session; }
};

class CFrameRegistry {
public:
    // More frames, contexts or document requests than this are not tracked.
    static constexpr size_t kMaxEntries = 1024;

    explicit CFrameRegistry(IPageSite& site) : m_site(site) {}
    CFrameRegistry(const CFrameRegistry&) = delete;
    CFrameRegistry& operator=(const CFrameRegistry&) = delete;

    // A new connection: the main frame is the page target's, and nothing else is known.
    void Reset(const std::string& mainFrame);
    const std::string& MainFrame() const { return m_mainFrame; }
    bool IsMain(const std::string& frame) const { return frame == m_mainFrame; }
    void SetMainFrame(const std::string& frame) { m_mainFrame = frame; }

    // The runtime's frame for a sub-frame, created when first seen; 0 when there are too many.
    int64_t SubFrame(const std::string& frame, const std::string& name);
    // The runtime's frame, or 0 when unknown.
    int64_t Find(const std::string& frame) const;
    // The DevTools frame of the runtime's |frameId|, or empty.
    std::string DevToolsFrameOf(int64_t frameId) const;
    // Chromium removed |frame| from its page.
    void Detach(const std::string& frame);
    // The main frame committed a new document: every sub-frame is gone.
    void DetachSubFrames();
    size_t Count() const { return m_subFrames.size() + 1; }

    void SetContext(const std::string& frame, const CScriptContext& context);
    void ForgetContext(const CScriptContext& context);
    // Every context of |session| is gone.
    void ForgetContexts(const std::string& session);
    // The frame's default context; its id is 0 when there is none.
    CScriptContext ContextOf(const std::string& frame) const;
    // The runtime's frame of a default context, or 0.
    int64_t FrameOfContext(const CScriptContext& context) const;

    // Documents: the frame a document request loads into, and the HTTP status it came with.
    void DocumentRequested(const std::string& request, const std::string& frame);
    void DocumentReceived(const std::string& frame, int status);
    std::string FrameOfRequest(const std::string& request) const;
    // 200 for documents that did not come over the network (files, about:blank).
    int StatusOf(const std::string& frame) const;
    // The main frame's load ended: what was known of its documents is done with.
    void ForgetDocuments();

private:
    IPageSite& m_site;
    std::string m_mainFrame;
    std::map<std::string, int64_t> m_subFrames; // DevTools frame id -> runtime frame id
    std::map<std::string, CScriptContext> m_contexts; // DevTools frame id -> default script context
    std::map<std::string, int> m_status; // DevTools frame id -> HTTP status
    std::map<std::string, std::string> m_requests; // request id -> DevTools frame id
};

} // namespace cefcompat
