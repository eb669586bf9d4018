// What a real page asks of its embedder, handed to the client's hooks and answered back to
// Chromium: script dialogs and the question before leaving a page (Page.javascriptDialogOpening,
// Page.handleJavaScriptDialog), the file chooser (intercepted, Page.fileChooserOpened,
// DOM.setFileInputFiles), downloads (Browser.downloadWillBegin / downloadProgress into a folder
// of the profile, then moved to the path the client chose) and new windows (Page.windowOpen
// asks OnBeforePopup; every page target but the browser's own and the developer tools is closed
// while Chromium holds it at its start, before it has asked for its address, and so is the tools
// window Chromium's own shortcuts open, so Chromium never shows a second page). UI thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "engines/page_engine.h"

namespace cefcompat {

class CChromiumQuestions {
public:
    using Json = nlohmann::json;
    using AnswerFn = std::function<void(const Json& answer)>;
    // Sends a command on the page's session, or to the browser itself when |toBrowser|.
    using CommandFn = std::function<void(const std::string& method, Json params, bool toBrowser, AnswerFn onAnswer)>;
    // Sends a command whose answer nobody needs on a session of the browser's that nothing else uses.
    using SendOnFn = std::function<void(const std::string& session, const std::string& method, Json params)>;

    CChromiumQuestions(IPageSite& site, CommandFn command, SendOnFn sendOn);
    CChromiumQuestions(const CChromiumQuestions&) = delete;
    CChromiumQuestions& operator=(const CChromiumQuestions&) = delete;

    // A new connection to Chromium: |pageTarget| is the browser's page, downloads go to
    // |downloadFolder| (a Linux path) until the client has decided.
    void Attach(const std::string& pageTarget, const std::string& downloadFolder);
    // True when the event was a question of its.
    bool Dispatch(const std::string& method, const Json& params);
    // The browser asked for a reload (true) or another navigation (false): what a question
    // before leaving the page that follows is about.
    void Reloading(bool reloading) { m_reloading = reloading; }
    // A page target at |url| that this engine opens itself (the developer tools) stays open;
    // empty: none.
    void KeepPage(const std::string& url) { m_keptPage = url; }

private:
    struct CDownload {
        bool decided = false;
        bool keep = false;
        bool finished = false;
        std::wstring suggestedName;
        std::wstring path;
    };

    void OnDialog(const Json& params);
    void OnFileChooser(const Json& params);
    void OnWindowOpen(const Json& params);
    void OnTargetCreated(const Json& params);
    void OnTargetAttached(const Json& params);
    // A target this engine does not show: a page besides its own and the developer tools, or the
    // tools window of Chromium's own shortcuts.
    bool Unwanted(const Json& targetInfo) const;
    void OnDownloadBegins(const Json& params);
    void OnDownloadProgress(const Json& params);
    void OnDownloadDecided(const std::string& guid, const CPageAnswer& answer);
    // The client chose |path| for the download, or none.
    void Decide(const std::string& guid, const std::wstring& path);
    void SettleDownload(const std::string& guid);

    IPageSite& m_site;
    CommandFn m_command;
    SendOnFn m_sendOn;
    std::shared_ptr<bool> m_alive; // answers that come after this object are dropped
    std::string m_pageTarget;
    std::string m_downloadFolder;
    std::map<std::string, CDownload> m_downloads; // by Chromium's guid
    bool m_reloading = false;
    std::string m_keptPage;
};

} // namespace cefcompat
