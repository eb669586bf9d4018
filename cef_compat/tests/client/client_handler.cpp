#include "client_handler.h"

#include <sstream>

#include "include/cef_app.h"
#include "include/cef_task.h"

namespace {

std::vector<std::string> Split(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

int Int(const std::vector<std::string>& args, size_t i)
{
    return i < args.size() ? std::atoi(args[i].c_str()) : 0;
}

// The rest of |line| after its first |words| words.
std::string Rest(const std::string& line, size_t words)
{
    size_t pos = 0;
    for (size_t i = 0; i < words && pos != std::string::npos; ++i) {
        pos = line.find(' ', pos);
        if (pos != std::string::npos)
            ++pos;
    }
    return pos == std::string::npos ? std::string() : line.substr(pos);
}

// Views and their texts travel as single words: spaces become '_'.
std::string Word(const CefString& text)
{
    std::string s = text.ToString();
    for (char& c : s) {
        if (c == ' ')
            c = '_';
    }
    return s.empty() ? "-" : s;
}

// Modifiers the test expects back in the journal, so that every field is checked.
const uint32 kTestMouseModifiers = EVENTFLAG_SHIFT_DOWN | EVENTFLAG_CONTROL_DOWN;
const uint32 kTestKeyModifiers = EVENTFLAG_ALT_DOWN | EVENTFLAG_IS_KEY_PAD;

class CDevToolsClient : public CefClient {
    IMPLEMENT_REFCOUNTING(CDevToolsClient)
};

} // namespace

CefRefPtr<CefBrowser> CClientHandler::Browser()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_browser;
}

void CClientHandler::Execute(const std::string& command)
{
    const std::vector<std::string> args = Split(command);
    if (args.empty())
        return;
    const std::string& verb = args[0];
    CefRefPtr<CefBrowser> browser = Browser();
    if (verb == "query") {
        m_notify("query can_go_back=" + std::to_string(browser && browser->CanGoBack()) +
                 " can_go_forward=" + std::to_string(browser && browser->CanGoForward()) +
                 " url=" + (browser ? Word(browser->GetMainFrame()->GetURL()) : std::string("-")));
        return;
    }
    if (verb == "pixel") {
        const int x = Int(args, 1), y = Int(args, 2);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (x < 0 || y < 0 || x >= m_frameWidth || y >= m_frameHeight) {
            m_notify("pixel none");
            return;
        }
        const unsigned char* p = &m_frame[(static_cast<size_t>(y) * m_frameWidth + x) * 4];
        m_notify("pixel b=" + std::to_string(p[0]) + " g=" + std::to_string(p[1]) + " r=" + std::to_string(p[2]) +
                 " a=" + std::to_string(p[3]));
        return;
    }
    if (verb == "jsdialog-answer" || verb == "jsdialog-drop") {
        CefRefPtr<CefJSDialogCallback> callback;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            callback.swap(m_jsDialog);
        }
        if (callback && verb == "jsdialog-answer")
            callback->Continue(Int(args, 1) != 0, Rest(command, 2));
        return;
    }
    if (verb == "file-answer") {
        CefRefPtr<CefFileDialogCallback> callback;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            callback.swap(m_fileDialog);
        }
        if (!callback)
            return;
        if (args.size() > 1 && args[1] == "accept") {
            std::vector<CefString> paths;
            for (size_t i = 2; i < args.size(); ++i)
                paths.push_back(args[i]);
            callback->Continue(0, paths);
        } else {
            callback->Cancel();
        }
        return;
    }
    if (verb == "download-answer") {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_downloadAnswer = Rest(command, 1);
        return;
    }
    // Ends the loop whether or not a browser exists, as a host does that closes before it has one.
    if (verb == "quit") {
        CefQuitMessageLoop();
        return;
    }
    if (verb == "resize") {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_viewWidth = Int(args, 1);
            m_viewHeight = Int(args, 2);
        }
        if (browser)
            browser->GetHost()->WasResized();
        return;
    }
    if (browser)
        ExecuteOnBrowser(command, args);
}

void CClientHandler::ExecuteOnBrowser(const std::string& command, const std::vector<std::string>& args)
{
    const std::string& verb = args[0];
    CefRefPtr<CefBrowser> browser = Browser();
    CefRefPtr<CefBrowserHost> host = browser->GetHost();
    CefMouseEvent mouse;
    mouse.x = Int(args, 1);
    mouse.y = Int(args, 2);
    mouse.modifiers = kTestMouseModifiers;
    if (verb == "click") {
        const bool right = args.size() > 3 && args[3] == "right";
        host->SendMouseClickEvent(mouse, right ? MBT_RIGHT : MBT_LEFT, args.size() > 4 && args[4] == "up", 1);
    } else if (verb == "move") {
        host->SendMouseMoveEvent(mouse, false);
    } else if (verb == "wheel") {
        host->SendMouseWheelEvent(mouse, Int(args, 3), Int(args, 4));
    } else if (verb == "key") {
        CefKeyEvent key;
        key.type = static_cast<cef_key_event_type_t>(Int(args, 1));
        key.modifiers = kTestKeyModifiers;
        key.windows_key_code = Int(args, 2);
        key.native_key_code = 0x1E0001;
        key.is_system_key = 1;
        key.character = static_cast<char16>(Int(args, 2));
        key.unmodified_character = static_cast<char16>(Int(args, 2) + 1);
        key.focus_on_editable_field = 1;
        host->SendKeyEvent(key);
    } else if (verb == "focus") {
        host->SendFocusEvent(Int(args, 1) != 0);
    } else if (verb == "load") {
        browser->GetMainFrame()->LoadURL(args.size() > 1 ? args[1] : std::string());
    } else if (verb == "back") {
        browser->GoBack();
    } else if (verb == "forward") {
        browser->GoForward();
    } else if (verb == "send-renderer") {
        CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(args.size() > 1 ? args[1] : "");
        message->GetArgumentList()->SetString(0, args.size() > 2 ? args[2] : "");
        browser->SendProcessMessage(PID_RENDERER, message);
    } else if (verb == "devtools") {
        CefWindowInfo info;
        info.SetAsPopup(nullptr, "Dev Tools");
        host->ShowDevTools(info, new CDevToolsClient(), CefBrowserSettings(), CefPoint(5, 7));
    } else if (verb == "close-devtools") {
        host->CloseDevTools();
    } else if (verb == "close") {
        host->CloseBrowser(true);
    } else if (verb == "script") {
        CefRefPtr<CefFrame> frame = browser->GetMainFrame();
        frame->ExecuteJavaScript(Rest(command, 1), frame->GetURL(), 7);
    }
}

bool CClientHandler::OnProcessMessageReceived(CefRefPtr<CefBrowser>, CefProcessId source_process,
                                              CefRefPtr<CefProcessMessage> message)
{
    CefRefPtr<CefListValue> args = message->GetArgumentList();
    m_notify("message name=" + Word(message->GetName()) + " from=" +
             (source_process == PID_RENDERER ? "renderer" : "browser") + " arg0=" + Word(args->GetString(0)) +
             " arg1=" + Word(args->GetString(1)) + " on_ui=" + std::to_string(CefCurrentlyOn(TID_UI)));
    return true;
}

bool CClientHandler::OnBeforePopup(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, const CefString& target_url,
                                   const CefString&, const CefPopupFeatures&, CefWindowInfo&, CefRefPtr<CefClient>&,
                                   CefBrowserSettings&, bool*)
{
    m_notify("popup url=" + Word(target_url));
    return !m_allowPopups;
}

void CClientHandler::OnAfterCreated(CefRefPtr<CefBrowser> browser)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_browser)
            m_browser = browser;
    }
    m_notify("created id=" + std::to_string(browser->GetIdentifier()) + " popup=" + std::to_string(browser->IsPopup()) +
             " windowless=" + std::to_string(browser->GetHost()->IsWindowRenderingDisabled()) +
             " window=" + std::to_string(browser->GetHost()->GetWindowHandle() != nullptr) +
             " on_ui=" + std::to_string(CefCurrentlyOn(TID_UI)));
}

// The first browser is the client's own: its closing ends the loop. Popups it let open are
// left to the runtime's shutdown.
void CClientHandler::OnBeforeClose(CefRefPtr<CefBrowser> browser)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_browser || !m_browser->IsSame(browser)) {
            m_notify("before-close popup=1");
            return;
        }
        m_browser = nullptr;
        m_jsDialog = nullptr;
        m_fileDialog = nullptr;
    }
    m_notify("before-close popup=0");
    CefQuitMessageLoop();
}

bool CClientHandler::GetViewRect(CefRefPtr<CefBrowser>, CefRect& rect)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    rect = CefRect(0, 0, m_viewWidth, m_viewHeight);
    return true;
}

void CClientHandler::OnPaint(CefRefPtr<CefBrowser>, PaintElementType type, const RectList& dirtyRects,
                             const void* buffer, int width, int height)
{
    if (type == PET_VIEW) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto* bytes = static_cast<const unsigned char*>(buffer);
        m_frame.assign(bytes, bytes + static_cast<size_t>(width) * height * 4);
        m_frameWidth = width;
        m_frameHeight = height;
    }
    m_notify("paint type=" + std::to_string(type) + " width=" + std::to_string(width) +
             " height=" + std::to_string(height) + " dirty=" + std::to_string(dirtyRects.size()) +
             " on_ui=" + std::to_string(CefCurrentlyOn(TID_UI)));
}

void CClientHandler::OnPopupShow(CefRefPtr<CefBrowser>, bool show)
{
    m_notify("popup-show show=" + std::to_string(show));
}

void CClientHandler::OnCursorChange(CefRefPtr<CefBrowser>, CefCursorHandle cursor, CursorType type,
                                    const CefCursorInfo&)
{
    m_notify("cursor type=" + std::to_string(type) + " handle=" + std::to_string(cursor != nullptr));
}

void CClientHandler::OnLoadStart(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame)
{
    m_notify("load-start main=" + std::to_string(frame->IsMain()));
}

void CClientHandler::OnLoadEnd(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame, int httpStatusCode)
{
    m_notify("load-end main=" + std::to_string(frame->IsMain()) + " status=" + std::to_string(httpStatusCode) +
             " url=" + Word(frame->GetURL()));
}

void CClientHandler::OnLoadError(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, ErrorCode errorCode,
                                 const CefString& errorText, const CefString& failedUrl)
{
    m_notify("load-error code=" + std::to_string(errorCode) + " text=" + Word(errorText) + " url=" + Word(failedUrl));
}

void CClientHandler::OnAddressChange(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame, const CefString& url)
{
    m_notify("address main=" + std::to_string(frame->IsMain()) + " url=" + Word(url));
}

void CClientHandler::OnTitleChange(CefRefPtr<CefBrowser>, const CefString& title)
{
    m_notify("title text=" + Word(title));
}

bool CClientHandler::OnJSDialog(CefRefPtr<CefBrowser>, const CefString&, const CefString&, JSDialogType dialog_type,
                                const CefString& message_text, const CefString& default_prompt_text,
                                CefRefPtr<CefJSDialogCallback> callback, bool&)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jsDialog = callback;
    }
    m_notify("jsdialog type=" + std::to_string(dialog_type) + " message=" + Word(message_text) +
             " default=" + Word(default_prompt_text));
    return true;
}

bool CClientHandler::OnBeforeUnloadDialog(CefRefPtr<CefBrowser>, const CefString& message_text, bool is_reload,
                                          CefRefPtr<CefJSDialogCallback> callback)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jsDialog = callback;
    }
    m_notify("beforeunload message=" + Word(message_text) + " is_reload=" + std::to_string(is_reload));
    return true;
}

bool CClientHandler::OnFileDialog(CefRefPtr<CefBrowser>, FileDialogMode mode, const CefString& title,
                                  const CefString& default_file_path, const std::vector<CefString>& accept_filters, int,
                                  CefRefPtr<CefFileDialogCallback> callback)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fileDialog = callback;
    }
    std::string filters;
    for (const CefString& filter : accept_filters)
        filters += (filters.empty() ? "" : "|") + Word(filter);
    m_notify("filedialog mode=" + std::to_string(mode) + " title=" + Word(title) +
             " default=" + Word(default_file_path) + " filters=" + (filters.empty() ? "-" : filters));
    return true;
}

void CClientHandler::OnBeforeDownload(CefRefPtr<CefBrowser>, CefRefPtr<CefDownloadItem> download_item,
                                      const CefString& suggested_name, CefRefPtr<CefBeforeDownloadCallback> callback)
{
    std::string answer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        answer = m_downloadAnswer;
    }
    m_notify("download name=" + Word(suggested_name) + " url=" + Word(download_item->GetURL()));
    // Declining is leaving the callback unanswered, which cancels the download.
    if (answer != "decline")
        callback->Continue(answer, answer.empty());
}

bool CClientHandler::OnCertificateError(CefRefPtr<CefBrowser>, cef_errorcode_t cert_error, const CefString& request_url,
                                        CefRefPtr<CefSSLInfo>, CefRefPtr<CefRequestCallback> callback)
{
    m_notify("cert-error code=" + std::to_string(cert_error) + " url=" + Word(request_url));
    callback->Continue(true);
    return true;
}

void CClientHandler::OnRenderProcessTerminated(CefRefPtr<CefBrowser>, TerminationStatus status)
{
    m_notify("renderer-terminated status=" + std::to_string(status));
}
