// Where the main frame's load stands, from Chromium's events, so that each hook of a load is
// reported once and in CEF's order. UI thread only.
#pragma once

namespace cefcompat {

enum class CLoadState {
    kIdle, // no load under way
    kStarted, // started, nothing committed or failed yet
    kCommitted, // the load's document committed (reported)
    kFailed, // the load failed (reported); Chromium may still commit its error page
    kErrorPage, // Chromium's error page committed under the failed address (reported)
    kFailedIdle, // no load under way; the last one failed and has been reported
};

class CNavigation {
public:
    CLoadState State() const { return m_state; }
    bool Loading() const { return m_state != CLoadState::kIdle && m_state != CLoadState::kFailedIdle; }
    bool FailureReported() const
    {
        return m_state == CLoadState::kFailed || m_state == CLoadState::kErrorPage ||
               m_state == CLoadState::kFailedIdle;
    }
    // The main frame shows a document of its own, not Chromium's error page; a load that never
    // committed (a leave the client refused, a stopped load) leaves it shown.
    bool DocumentShown() const { return m_documentShown; }

    // The browser asked for a navigation: an earlier failure is no longer this one's.
    void Requested()
    {
        if (m_state == CLoadState::kFailedIdle)
            m_state = CLoadState::kIdle;
    }
    // False when a load is under way already.
    bool Start()
    {
        if (Loading())
            return false;
        m_state = CLoadState::kStarted;
        return true;
    }
    // A document took the place of whatever this load was; one that failed earlier in the
    // same load (ERR_ABORTED) has been reported. Outside a load only what is shown changes.
    void Commit()
    {
        if (Loading())
            m_state = CLoadState::kCommitted;
        m_documentShown = true;
    }
    void Fail() { m_state = Loading() ? CLoadState::kFailed : CLoadState::kFailedIdle; }
    void CommitErrorPage()
    {
        if (Loading())
            m_state = CLoadState::kErrorPage;
        m_documentShown = false;
    }
    // The load ended (or the page's renderer is gone).
    void Stop() { m_state = FailureReported() ? CLoadState::kFailedIdle : CLoadState::kIdle; }

private:
    CLoadState m_state = CLoadState::kIdle;
    bool m_documentShown = false;
};

} // namespace cefcompat
