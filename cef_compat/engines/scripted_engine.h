// The scripted engine: deterministic pages steered through the control pipe. Navigation runs
// the usual hooks at once with status 200 unless a request said otherwise; pages are drawn
// with GDI; requests raise dialogs, popups, downloads, certificate errors and the like in the
// page. README.md lists the requests. It also shows why a page has no browser.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engines/page_engine.h"
#include "engines/scripted_page.h"

namespace cefcompat {

class CScriptedEngine : public IPageEngine {
public:
    // With a |notice|, every page shows it, and every load of the main frame fails.
    explicit CScriptedEngine(IPageSite& site, std::vector<std::wstring> notice = {});

    void Start(const std::wstring& url) OVERRIDE;
    void LoadURL(int64_t frameId, const std::wstring& url) OVERRIDE;
    void GoBack() OVERRIDE;
    void GoForward() OVERRIDE;
    void Reload() OVERRIDE;
    void StopLoad() OVERRIDE {}
    void ExecuteJavaScript(int64_t frameId, const std::wstring& code, const std::wstring& scriptUrl,
                           int startLine) OVERRIDE;
    void MouseMove(const CefMouseEvent& event, bool mouseLeave) OVERRIDE;
    void MouseClick(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp, int clickCount) OVERRIDE;
    void MouseWheel(const CefMouseEvent& event, int deltaX, int deltaY) OVERRIDE;
    void Key(const CefKeyEvent& event) OVERRIDE;
    void Focus(bool focused) OVERRIDE;
    void CaptureLost() OVERRIDE {}
    void Resized() OVERRIDE { Repaint(); }
    void Hidden(bool hidden) OVERRIDE;
    void Invalidate(cef_paint_element_type_t type) OVERRIDE;
    void RendererGone() OVERRIDE;
    bool HandleControl(const std::vector<std::string>& args, Reply reply) OVERRIDE;

private:
    enum class CMove { kPush, kBack, kForward, kReload };
    struct COutcome {
        bool failed = false;
        int status = 200;
        int errorCode = 0;
        std::wstring errorText;
    };
    struct CHistoryEntry {
        std::wstring url;
        std::wstring title;
    };
    struct CPopupWidget {
        bool visible = false;
        CefRect rect;
    };

    void Navigate(const std::wstring& url, cef_transition_type_t transition, CMove move);
    void Commit(const std::wstring& url, CMove move, int status);
    void FailMainLoad(const std::wstring& url, int errorCode, const std::wstring& errorText);
    void LoadSubFrame(int64_t frameId, const std::wstring& url);
    COutcome TakeOutcome();
    bool CanGoBack() const { return m_index > 0; }
    bool CanGoForward() const { return m_index + 1 < static_cast<int>(m_history.size()); }
    void Repaint();
    void PaintPopup();
    void AddNote(const std::wstring& note);

    void CertificateNavigation(int errorCode, const std::wstring& url);

    // Control requests, one per verb; each replies exactly once.
    using Args = std::vector<std::string>;
    void OnState(const Args& args, const Reply& reply);
    void OnNextStatus(const Args& args, const Reply& reply);
    void OnNextError(const Args& args, const Reply& reply);
    void OnNavigate(const Args& args, const Reply& reply);
    void OnProtocol(const Args& args, const Reply& reply);
    void OnTitle(const Args& args, const Reply& reply);
    void OnSubFrame(const Args& args, const Reply& reply);
    void OnDialog(const Args& args, const Reply& reply);
    void OnFileDialog(const Args& args, const Reply& reply);
    void OnPopup(const Args& args, const Reply& reply);
    void OnDownload(const Args& args, const Reply& reply);
    void OnCertificateError(const Args& args, const Reply& reply);
    void OnCursor(const Args& args, const Reply& reply);
    void OnPopupWidget(const Args& args, const Reply& reply);
    void OnConsole(const Args& args, const Reply& reply);
    void OnCall(const Args& args, const Reply& reply);

    IPageSite& m_site;
    CScriptedPage m_page;
    std::vector<CHistoryEntry> m_history;
    int m_index = -1;
    std::optional<COutcome> m_nextOutcome;
    CPopupWidget m_popup;
    bool m_hidden = false;
};

} // namespace cefcompat
