#include "engines/chromium_questions.h"

#include <windows.h>

#include <shlobj.h>

#include <cwctype>
#include <sstream>
#include <utility>

#include "engines/chromium_process.h"
#include "engines/chromium_urls.h"
#include "engines/devtools_json.h"
#include "runtime/text.h"

namespace cefcompat {
namespace {

// Accept filters of one file input.
constexpr size_t kMaxFilters = 64;
constexpr size_t kMaxGuid = 64;
// Downloads waiting for the client or for Chromium; more are cancelled unasked.
constexpr size_t kMaxDownloads = 64;

cef_jsdialog_type_t DialogTypeOf(const std::string& type)
{
    if (type == "confirm")
        return JSDIALOGTYPE_CONFIRM;
    if (type == "prompt")
        return JSDIALOGTYPE_PROMPT;
    return JSDIALOGTYPE_ALERT;
}

// The accept attribute of a DOM.describeNode answer, split at its commas.
std::vector<std::wstring> AcceptFiltersOf(const nlohmann::json& answer)
{
    const nlohmann::json node = Member(Member(answer, "result"), "node");
    const auto attributes = node.find("attributes");
    std::vector<std::wstring> filters;
    if (attributes == node.end() || !attributes->is_array())
        return filters;
    for (size_t i = 0; i + 1 < attributes->size(); i += 2) {
        if ((*attributes)[i] != "accept" || !(*attributes)[i + 1].is_string())
            continue;
        std::istringstream list((*attributes)[i + 1].get<std::string>());
        std::string filter;
        while (std::getline(list, filter, ',') && filters.size() < kMaxFilters) {
            const size_t first = filter.find_first_not_of(" \t");
            const size_t last = filter.find_last_not_of(" \t");
            if (first != std::string::npos)
                filters.push_back(FromUtf8(filter.substr(first, last - first + 1)));
        }
    }
    return filters;
}

// A path the client gave, as Chromium (a Linux program under Wine) reads it.
std::string ChromiumPathOf(const std::wstring& path)
{
    const std::string linuxPath = LinuxPathOf(path);
    return linuxPath.empty() ? ToUtf8(path) : linuxPath;
}

// A file Chromium wrote, as this process reaches it.
std::wstring LocalPathOf(const std::string& linuxPath)
{
    const std::wstring windowsPath = WindowsPathOf(linuxPath);
    return windowsPath.empty() ? FromUtf8(linuxPath) : windowsPath;
}

// A path the client gave for a download: a full Windows path that a move can reach.
bool IsFullPath(const std::wstring& path)
{
    if (path.size() >= MAX_PATH)
        return false;
    const bool drive = path.size() > 3 && iswalpha(path[0]) && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool share = path.size() > 2 && path.compare(0, 2, L"\\\\") == 0;
    return drive || share;
}

// Moves a finished download to the client's path, making its folder first as CEF does.
bool SaveDownload(const std::wstring& written, const std::wstring& path)
{
    if (!IsFullPath(path))
        return false;
    const std::wstring folder = path.substr(0, path.find_last_of(L"\\/"));
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!exists && SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr) != ERROR_SUCCESS)
        return false;
    return MoveFileExW(written.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

} // namespace

CChromiumQuestions::CChromiumQuestions(IPageSite& site, CommandFn command, SendOnFn sendOn)
    : m_site(site),
      m_command(std::move(command)),
      m_sendOn(std::move(sendOn)),
      m_alive(std::make_shared<bool>(true))
{
}

void CChromiumQuestions::Attach(const std::string& pageTarget, const std::string& downloadFolder)
{
    m_pageTarget = pageTarget;
    m_downloadFolder = downloadFolder;
    m_downloads.clear();
    m_command("Page.setInterceptFileChooserDialog", {{"enabled", true}}, false, nullptr);
    m_command("Target.setDiscoverTargets", {{"discover", true}}, true, nullptr);
    // Every new page waits at its start: a popup is closed there, before it has sent a request.
    m_command("Target.setAutoAttach", {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}}, true,
              nullptr);
    m_command("Browser.setDownloadBehavior",
              {{"behavior", "allowAndName"}, {"downloadPath", downloadFolder}, {"eventsEnabled", true}}, true, nullptr);
}

bool CChromiumQuestions::Dispatch(const std::string& method, const Json& params)
{
    if (method == "Page.javascriptDialogOpening")
        OnDialog(params);
    else if (method == "Page.fileChooserOpened")
        OnFileChooser(params);
    else if (method == "Page.windowOpen")
        OnWindowOpen(params);
    else if (method == "Target.targetCreated")
        OnTargetCreated(params);
    else if (method == "Target.attachedToTarget")
        OnTargetAttached(params);
    else if (method == "Browser.downloadWillBegin")
        OnDownloadBegins(params);
    else if (method == "Browser.downloadProgress")
        OnDownloadProgress(params);
    else
        return false;
    return true;
}

void CChromiumQuestions::OnDialog(const Json& params)
{
    const std::string type = Text(params, "type");
    std::weak_ptr<bool> alive = m_alive;
    CommandFn command = m_command;
    if (type == "beforeunload") {
        // Chromium does not say what leaves the page: a reload is one this browser asked for.
        m_site.RunBeforeUnloadDialog(
            FromUtf8(Text(params, "message")), std::exchange(m_reloading, false),
            [alive, command](const CPageAnswer& answer) {
                if (alive.lock())
                    command("Page.handleJavaScriptDialog", {{"accept", answer.accepted}}, false, nullptr);
            });
        return;
    }
    const cef_jsdialog_type_t dialogType = DialogTypeOf(type);
    m_site.RunJSDialog(dialogType, FromUtf8(Text(params, "message")), FromUtf8(Text(params, "defaultPrompt")),
                       [alive, command, dialogType](const CPageAnswer& answer) {
                           if (!alive.lock())
                               return;
                           Json reply = {{"accept", answer.answered && answer.accepted}};
                           if (dialogType == JSDIALOGTYPE_PROMPT)
                               reply["promptText"] = ToUtf8(answer.text);
                           command("Page.handleJavaScriptDialog", reply, false, nullptr);
                       });
}

void CChromiumQuestions::OnFileChooser(const Json& params)
{
    const int node = Number(params, "backendNodeId", 0);
    if (node == 0)
        return;
    const int mode = Text(params, "mode") == "selectMultiple" ? FILE_DIALOG_OPEN_MULTIPLE : FILE_DIALOG_OPEN;
    std::weak_ptr<bool> alive = m_alive;
    m_command("DOM.describeNode", {{"backendNodeId", node}}, false, [this, alive, node, mode](const Json& answer) {
        if (!alive.lock())
            return;
        CommandFn command = m_command;
        m_site.RunFileDialog(
            mode, std::wstring(), std::wstring(), AcceptFiltersOf(answer),
            [alive, command, node](const CPageAnswer& choice) {
                // Cancelled, the input keeps what it had, as after a dismissed dialog.
                if (!alive.lock() || !choice.answered || !choice.accepted)
                    return;
                Json files = Json::array();
                for (const std::wstring& path : choice.paths)
                    files.push_back(ChromiumPathOf(path));
                command("DOM.setFileInputFiles", {{"files", files}, {"backendNodeId", node}}, false, nullptr);
            });
    });
}

void CChromiumQuestions::OnWindowOpen(const Json& params)
{
    const std::wstring url = FromChromiumUrl(FromUtf8(Text(params, "url")));
    const bool refused = m_site.BeforePopup(m_site.MainFrameId(), url, FromUtf8(Text(params, "windowName")));
    m_site.Record(m_site.EventLine(refused ? "PopupRefused" : "PopupOpened").Add("target_url", url));
}

bool CChromiumQuestions::Unwanted(const Json& targetInfo) const
{
    const std::string target = Text(targetInfo, "targetId");
    const std::string type = Text(targetInfo, "type");
    const std::string url = Text(targetInfo, "url");
    // Chromium's own tools window, which its shortcuts on the page (F12, Ctrl+Shift+I) open; CEF
    // has no such shortcuts.
    const bool shortcutTools = type == "other" && url.rfind("devtools://", 0) == 0;
    // A popup the client allows is a browser of its own, with its own Chromium.
    return (type == "page" || shortcutTools) && !target.empty() && target != m_pageTarget &&
           (m_keptPage.empty() || url != m_keptPage);
}

// The shortcuts' tools window is not held at its start: it is closed when Chromium announces it.
void CChromiumQuestions::OnTargetCreated(const Json& params)
{
    const Json info = Member(params, "targetInfo");
    if (Unwanted(info))
        m_command("Target.closeTarget", {{"targetId", Text(info, "targetId")}}, true, nullptr);
}

// Only new targets wait; the browser's own attaches (to its page, to the developer tools) are
// reported here too, and are left alone.
void CChromiumQuestions::OnTargetAttached(const Json& params)
{
    const Json info = Member(params, "targetInfo");
    const std::string session = Text(params, "sessionId");
    if (!Flag(params, "waitingForDebugger") || session.empty())
        return;
    if (Unwanted(info)) {
        m_command("Target.closeTarget", {{"targetId", Text(info, "targetId")}}, true, nullptr);
        return;
    }
    // Everything else runs on as if nobody had attached.
    m_sendOn(session, "Runtime.runIfWaitingForDebugger", Json::object());
    m_command("Target.detachFromTarget", {{"sessionId", session}}, true, nullptr);
}

void CChromiumQuestions::OnDownloadBegins(const Json& params)
{
    const std::string guid = Text(params, "guid");
    // The guid names the file in the download folder: nothing but a guid may pass.
    if (guid.empty() || guid.size() > kMaxGuid ||
        guid.find_first_not_of("0123456789abcdefABCDEF-") != std::string::npos || m_downloads.count(guid)) {
        return;
    }
    if (m_downloads.size() >= kMaxDownloads) {
        m_command("Browser.cancelDownload", {{"guid", guid}}, true, nullptr);
        return;
    }
    const std::wstring suggestedName = FromUtf8(Text(params, "suggestedFilename"));
    m_downloads[guid].suggestedName = suggestedName;
    std::weak_ptr<bool> alive = m_alive;
    m_site.BeforeDownload(FromChromiumUrl(FromUtf8(Text(params, "url"))), suggestedName, std::wstring(),
                          [this, alive, guid](const CPageAnswer& answer) {
                              if (alive.lock())
                                  OnDownloadDecided(guid, answer);
                          });
}

void CChromiumQuestions::OnDownloadDecided(const std::string& guid, const CPageAnswer& answer)
{
    auto download = m_downloads.find(guid);
    if (download == m_downloads.end())
        return;
    const bool allowed = answer.answered && answer.accepted;
    if (!allowed || !answer.showDialog) {
        Decide(guid, allowed ? answer.text : std::wstring());
        return;
    }
    // "Ask the user": the client's save dialog, with the path given or the suggested name.
    std::weak_ptr<bool> alive = m_alive;
    m_site.RunFileDialog(FILE_DIALOG_SAVE, std::wstring(),
                         answer.text.empty() ? download->second.suggestedName : answer.text, {},
                         [this, alive, guid](const CPageAnswer& choice) {
                             if (!alive.lock())
                                 return;
                             const bool chosen = choice.answered && choice.accepted && !choice.paths.empty();
                             Decide(guid, chosen ? choice.paths.front() : std::wstring());
                         });
}

void CChromiumQuestions::Decide(const std::string& guid, const std::wstring& path)
{
    auto download = m_downloads.find(guid);
    if (download == m_downloads.end())
        return;
    download->second.decided = true;
    // A download without a path is not kept.
    download->second.keep = !path.empty();
    download->second.path = path;
    // Chromium removes what it has written of a cancelled download; one that completes before
    // the cancel arrives is removed when Chromium reports it.
    if (!download->second.keep && !download->second.finished) {
        m_command("Browser.cancelDownload", {{"guid", guid}}, true, nullptr);
        return;
    }
    SettleDownload(guid);
}

void CChromiumQuestions::OnDownloadProgress(const Json& params)
{
    const std::string guid = Text(params, "guid");
    auto download = m_downloads.find(guid);
    if (download == m_downloads.end())
        return;
    const std::string state = Text(params, "state");
    if (state == "canceled") {
        const bool declined = download->second.decided && !download->second.keep;
        m_site.Record(m_site.EventLine(declined ? "DownloadDiscarded" : "DownloadCanceled").Add("guid", guid));
        m_downloads.erase(download);
    } else if (state == "completed") {
        download->second.finished = true;
        SettleDownload(guid);
    }
}

void CChromiumQuestions::SettleDownload(const std::string& guid)
{
    auto download = m_downloads.find(guid);
    if (download == m_downloads.end() || !download->second.decided || !download->second.finished)
        return;
    const std::wstring written = LocalPathOf(m_downloadFolder + "/" + guid);
    if (download->second.keep) {
        const bool moved = SaveDownload(written, download->second.path);
        if (!moved)
            DeleteFileW(written.c_str());
        m_site.Record(m_site.EventLine("DownloadSaved").Add("path", download->second.path).Add("moved", moved));
    } else {
        DeleteFileW(written.c_str());
        m_site.Record(m_site.EventLine("DownloadDiscarded").Add("guid", guid));
    }
    m_downloads.erase(download);
}

} // namespace cefcompat
