#include "engines/scripted_engine.h"

#include <algorithm>
#include <map>

#include "runtime/ipc_messages.h"
#include "runtime/simple_objects.h"

namespace cefcompat {
namespace {

// Popup widgets larger than this are refused.
constexpr int kMaxPopupSide = 4096;

const char kBadArguments[] = "error bad-arguments";

bool ArgText(const std::vector<std::string>& tokens, size_t index, std::wstring* text)
{
    std::string utf8;
    if (index >= tokens.size() || !DecodeText(tokens[index], &utf8))
        return false;
    *text = FromUtf8(utf8);
    return true;
}

bool ArgInt(const std::vector<std::string>& tokens, size_t index, int* value)
{
    return index < tokens.size() && ParseInt(tokens[index], value);
}

bool IsExternalUrl(const std::wstring& url)
{
    static const wchar_t* const kLoaded[] = {L"http",   L"https",           L"file", L"about", L"data",
                                             L"chrome", L"chrome-devtools", L"blob", L"ftp"};
    const std::wstring scheme = SchemeOfUrl(url);
    if (scheme.empty())
        return false;
    for (const wchar_t* known : kLoaded) {
        if (scheme == known)
            return false;
    }
    return true;
}

std::wstring ErrorText(int code)
{
    static const std::map<int, const wchar_t*> kNames = {
        {ERR_FAILED, L"FAILED"},
        {ERR_ABORTED, L"ABORTED"},
        {ERR_TIMED_OUT, L"TIMED_OUT"},
        {ERR_CONNECTION_REFUSED, L"CONNECTION_REFUSED"},
        {ERR_NAME_NOT_RESOLVED, L"NAME_NOT_RESOLVED"},
        {ERR_INTERNET_DISCONNECTED, L"INTERNET_DISCONNECTED"},
        {ERR_CERT_COMMON_NAME_INVALID, L"CERT_COMMON_NAME_INVALID"},
        {ERR_CERT_DATE_INVALID, L"CERT_DATE_INVALID"},
        {ERR_CERT_AUTHORITY_INVALID, L"CERT_AUTHORITY_INVALID"},
        {ERR_CERT_CONTAINS_ERRORS, L"CERT_CONTAINS_ERRORS"},
        {ERR_CERT_REVOKED, L"CERT_REVOKED"},
        {ERR_CERT_INVALID, L"CERT_INVALID"},
        {ERR_INSECURE_RESPONSE, L"INSECURE_RESPONSE"},
    };
    auto it = kNames.find(code);
    return it != kNames.end() ? std::wstring(L"net::ERR_") + it->second : L"net::ERROR " + std::to_wstring(code);
}

std::wstring DialogName(cef_jsdialog_type_t type)
{
    switch (type) {
    case JSDIALOGTYPE_CONFIRM: return L"confirm";
    case JSDIALOGTYPE_PROMPT: return L"prompt";
    default: return L"alert";
    }
}

std::wstring AnswerText(const CPageAnswer& answer)
{
    if (!answer.answered)
        return L"no answer";
    return answer.accepted ? L"accepted" : L"refused";
}

} // namespace

CScriptedEngine::CScriptedEngine(IPageSite& site, std::vector<std::wstring> notice) : m_site(site)
{
    m_page.notice = std::move(notice);
}

void CScriptedEngine::Start(const std::wstring& url)
{
    // A browser created without an address stays on its empty page: nothing is loaded.
    if (url.empty()) {
        m_page.status = L"empty";
        Repaint();
        return;
    }
    Navigate(url, TT_EXPLICIT, CMove::kPush);
}

void CScriptedEngine::LoadURL(int64_t frameId, const std::wstring& url)
{
    if (frameId == m_site.MainFrameId())
        Navigate(url, TT_EXPLICIT, CMove::kPush);
    else
        LoadSubFrame(frameId, url);
}

void CScriptedEngine::GoBack()
{
    if (CanGoBack()) {
        Navigate(m_history[static_cast<size_t>(m_index - 1)].url,
                 static_cast<cef_transition_type_t>(TT_EXPLICIT | TT_FORWARD_BACK_FLAG), CMove::kBack);
    }
}

void CScriptedEngine::GoForward()
{
    if (CanGoForward()) {
        Navigate(m_history[static_cast<size_t>(m_index + 1)].url,
                 static_cast<cef_transition_type_t>(TT_EXPLICIT | TT_FORWARD_BACK_FLAG), CMove::kForward);
    }
}

void CScriptedEngine::Reload()
{
    if (m_index >= 0)
        Navigate(m_history[static_cast<size_t>(m_index)].url, TT_RELOAD, CMove::kReload);
}

CScriptedEngine::COutcome CScriptedEngine::TakeOutcome()
{
    COutcome outcome = m_nextOutcome.value_or(COutcome());
    m_nextOutcome.reset();
    if (!m_page.notice.empty())
        outcome = {true, 0, ERR_FAILED, L"no browser was found"};
    return outcome;
}

void CScriptedEngine::Navigate(const std::wstring& url, cef_transition_type_t transition, CMove move)
{
    const int64_t main = m_site.MainFrameId();
    if (m_site.BeforeBrowse(main, url, transition)) {
        m_site.Record(m_site.EventLine("NavigationCancelled").Add("url", url));
        return;
    }
    if (IsExternalUrl(url)) {
        m_site.ProtocolExecution(url);
        return;
    }
    m_site.LoadingStateChange(true, CanGoBack(), CanGoForward());
    const COutcome outcome = TakeOutcome();
    if (outcome.failed) {
        FailMainLoad(url, outcome.errorCode, outcome.errorText);
        return;
    }
    Commit(url, move, outcome.status);
}

void CScriptedEngine::Commit(const std::wstring& url, CMove move, int status)
{
    switch (move) {
    case CMove::kPush:
        m_history.resize(static_cast<size_t>(m_index + 1));
        m_history.push_back({url, std::wstring()});
        ++m_index;
        break;
    case CMove::kBack: --m_index; break;
    case CMove::kForward: ++m_index; break;
    case CMove::kReload: break;
    }
    m_site.HistoryChanged(CanGoBack(), CanGoForward());
    m_site.DetachSubFrames();
    m_page.NewDocument(url);

    const int64_t main = m_site.MainFrameId();
    m_site.AddressChange(main, url);
    m_site.LoadStart(main);
    // A page without a title of its own is titled by its address.
    CHistoryEntry& entry = m_history[static_cast<size_t>(m_index)];
    m_page.title = entry.title.empty() ? url : entry.title;
    m_site.TitleChange(m_page.title);
    m_page.status = L"loaded, status " + std::to_wstring(status);
    m_site.LoadEnd(main, status);
    m_site.LoadingStateChange(false, CanGoBack(), CanGoForward());
    Repaint();
}

void CScriptedEngine::FailMainLoad(const std::wstring& url, int errorCode, const std::wstring& errorText)
{
    m_site.LoadError(m_site.MainFrameId(), errorCode, errorText, url);
    m_page.status = L"failed: " + errorText;
    m_site.LoadingStateChange(false, CanGoBack(), CanGoForward());
    Repaint();
}

void CScriptedEngine::LoadSubFrame(int64_t frameId, const std::wstring& url)
{
    auto frame = std::find_if(m_page.subFrames.begin(), m_page.subFrames.end(),
                              [frameId](const CScriptedPage::CSubFrame& f) { return f.id == frameId; });
    if (frame == m_page.subFrames.end())
        return;
    if (m_site.BeforeBrowse(frameId, url, TT_AUTO_SUBFRAME)) {
        m_site.Record(m_site.EventLine("NavigationCancelled").Add("frame", frameId).Add("url", url));
        return;
    }
    const COutcome outcome = TakeOutcome();
    if (outcome.failed) {
        m_site.LoadError(frameId, outcome.errorCode, outcome.errorText, url);
    } else {
        frame->url = url;
        m_site.AddressChange(frameId, url);
        m_site.LoadStart(frameId);
        m_site.LoadEnd(frameId, outcome.status);
    }
    Repaint();
}

void CScriptedEngine::ExecuteJavaScript(int64_t, const std::wstring& code, const std::wstring& scriptUrl, int startLine)
{
    ++m_page.scripts;
    m_page.lastScript = code + L" @ " + scriptUrl + L":" + std::to_wstring(startLine);
    Repaint();
}

void CScriptedEngine::MouseMove(const CefMouseEvent& event, bool mouseLeave)
{
    m_page.mouseX = mouseLeave ? -1 : event.x;
    m_page.mouseY = mouseLeave ? -1 : event.y;
    Repaint();
}

void CScriptedEngine::MouseClick(const CefMouseEvent& event, cef_mouse_button_type_t button, bool mouseUp, int)
{
    if (mouseUp)
        return;
    m_page.AddClick(event.x, event.y, static_cast<int>(button));
    Repaint();
}

void CScriptedEngine::MouseWheel(const CefMouseEvent&, int deltaX, int deltaY)
{
    m_page.wheelX += deltaX;
    m_page.wheelY += deltaY;
    Repaint();
}

void CScriptedEngine::Key(const CefKeyEvent& event)
{
    const std::wstring code = std::to_wstring(event.windows_key_code);
    switch (event.type) {
    case KEYEVENT_CHAR:
        m_page.AddTyped(static_cast<wchar_t>(event.character ? event.character : event.windows_key_code));
        m_page.lastKey = L"char " + code;
        break;
    case KEYEVENT_KEYUP: m_page.lastKey = L"up " + code; break;
    default: m_page.lastKey = L"down " + code; break;
    }
    Repaint();
}

void CScriptedEngine::Focus(bool focused)
{
    m_page.focused = focused;
    Repaint();
}

void CScriptedEngine::Hidden(bool hidden)
{
    m_hidden = hidden;
    if (!hidden)
        Repaint();
}

void CScriptedEngine::Invalidate(cef_paint_element_type_t type)
{
    if (type == PET_POPUP)
        PaintPopup();
    else
        Repaint();
}

void CScriptedEngine::RendererGone()
{
    m_page.rendererGone = true;
    m_page.status = L"render process ended";
    Repaint();
}

void CScriptedEngine::AddNote(const std::wstring& note)
{
    m_page.AddNote(note);
    Repaint();
}

void CScriptedEngine::Repaint()
{
    if (m_hidden)
        return;
    int width = 0;
    int height = 0;
    if (!m_site.ViewSize(&width, &height))
        return;
    CGdiCanvas canvas(width, height);
    if (!canvas.IsValid()) {
        m_site.Record(m_site.EventLine("PaintFailed").Add("width", width).Add("height", height));
        return;
    }
    PaintScriptedPage(m_page, canvas);
    canvas.MakeOpaque();
    m_site.Paint(PET_VIEW, {CefRect(0, 0, width, height)}, canvas.Bits(), width, height);
    if (m_popup.visible)
        PaintPopup();
}

void CScriptedEngine::PaintPopup()
{
    if (m_hidden || !m_popup.visible)
        return;
    CGdiCanvas canvas(m_popup.rect.width, m_popup.rect.height);
    if (!canvas.IsValid())
        return;
    PaintScriptedPopup(canvas);
    canvas.MakeOpaque();
    m_site.Paint(PET_POPUP, {CefRect(0, 0, canvas.Width(), canvas.Height())}, canvas.Bits(), canvas.Width(),
                 canvas.Height());
}

void CScriptedEngine::CertificateNavigation(int errorCode, const std::wstring& url)
{
    if (m_site.BeforeBrowse(m_site.MainFrameId(), url, TT_EXPLICIT))
        return;
    m_site.LoadingStateChange(true, CanGoBack(), CanGoForward());
    m_site.CertificateError(errorCode, url, [this, errorCode, url](const CPageAnswer& answer) {
        m_site.Record(m_site.EventLine("CertificateDecision").Add("allowed", answer.answered && answer.accepted));
        if (answer.answered && answer.accepted) {
            Commit(url, CMove::kPush, TakeOutcome().status);
        } else {
            FailMainLoad(url, errorCode, ErrorText(errorCode));
        }
    });
}

void CScriptedEngine::OnPopupWidget(const Args& args, const Reply& reply)
{
    if (args.size() == 2 && args[1] == "hide") {
        reply("ok");
        m_popup.visible = false;
        m_site.PopupShow(false);
        Repaint();
        return;
    }
    CefRect rect;
    if (args.size() != 6 || args[1] != "show" || !ArgInt(args, 2, &rect.x) || !ArgInt(args, 3, &rect.y) ||
        !ArgInt(args, 4, &rect.width) || !ArgInt(args, 5, &rect.height) || rect.width <= 0 || rect.height <= 0 ||
        rect.width > kMaxPopupSide || rect.height > kMaxPopupSide) {
        reply(kBadArguments);
        return;
    }
    reply("ok");
    m_popup.rect = rect;
    m_popup.visible = true;
    m_site.PopupSize(rect);
    m_site.PopupShow(true);
    PaintPopup();
}

void CScriptedEngine::OnCall(const Args& args, const Reply& reply)
{
    std::wstring name;
    std::vector<CScriptValue> values;
    if (!ArgText(args, 1, &name) || name.empty()) {
        reply(kBadArguments);
        return;
    }
    for (size_t i = 2; i < args.size(); ++i) {
        CScriptValue value;
        if (!CScriptValue::Parse(args[i], &value)) {
            reply("error bad-value " + args[i]);
            return;
        }
        values.push_back(value);
    }
    m_site.CallNative(m_site.MainFrameId(), name, values, [reply](const CNativeCallResult& result) {
        if (!result.delivered) {
            reply("error no-renderer");
            return;
        }
        static const char* const kOutcomes[] = {"returned", "threw", "not-handled", "no-such-function", "no-context"};
        const char* outcome = result.outcome < 5 ? kOutcomes[result.outcome] : "unknown";
        reply(std::string("ok outcome=") + outcome + " exception=" + EncodeText(result.exception) +
              " retval=" + result.retval.ToText());
    });
}

bool CScriptedEngine::HandleControl(const Args& args, Reply reply)
{
    using Handler = void (CScriptedEngine::*)(const Args&, const Reply&);
    static const std::map<std::string, Handler> kHandlers = {
        {"state", &CScriptedEngine::OnState},
        {"next-status", &CScriptedEngine::OnNextStatus},
        {"next-error", &CScriptedEngine::OnNextError},
        {"navigate", &CScriptedEngine::OnNavigate},
        {"protocol", &CScriptedEngine::OnProtocol},
        {"title", &CScriptedEngine::OnTitle},
        {"subframe", &CScriptedEngine::OnSubFrame},
        {"dialog", &CScriptedEngine::OnDialog},
        {"file-dialog", &CScriptedEngine::OnFileDialog},
        {"popup", &CScriptedEngine::OnPopup},
        {"download", &CScriptedEngine::OnDownload},
        {"cert-error", &CScriptedEngine::OnCertificateError},
        {"cursor", &CScriptedEngine::OnCursor},
        {"popup-widget", &CScriptedEngine::OnPopupWidget},
        {"console", &CScriptedEngine::OnConsole},
        {"call", &CScriptedEngine::OnCall},
    };
    auto it = kHandlers.find(args[0]);
    if (it == kHandlers.end())
        return false;
    (this->*(it->second))(args, reply);
    return true;
}

void CScriptedEngine::OnState(const Args&, const Reply& reply)
{
    reply("ok url=" + EncodeText(m_page.url) + " title=" + EncodeText(m_page.title) +
          " can_go_back=" + (CanGoBack() ? "1" : "0") + " can_go_forward=" + (CanGoForward() ? "1" : "0") +
          " frames=" + std::to_string(m_page.subFrames.size() + 1));
}

void CScriptedEngine::OnNextStatus(const Args& args, const Reply& reply)
{
    int status = 0;
    if (args.size() != 2 || !ArgInt(args, 1, &status))
        return reply(kBadArguments);
    m_nextOutcome = COutcome();
    m_nextOutcome->status = status;
    reply("ok");
}

void CScriptedEngine::OnNextError(const Args& args, const Reply& reply)
{
    int code = 0;
    std::wstring text;
    if (args.size() != 3 || !ArgInt(args, 1, &code) || !ArgText(args, 2, &text))
        return reply(kBadArguments);
    m_nextOutcome = COutcome();
    m_nextOutcome->failed = true;
    m_nextOutcome->errorCode = code;
    m_nextOutcome->errorText = text;
    reply("ok");
}

void CScriptedEngine::OnNavigate(const Args& args, const Reply& reply)
{
    std::wstring url;
    if (args.size() != 2 || !ArgText(args, 1, &url))
        return reply(kBadArguments);
    reply("ok");
    Navigate(url, TT_LINK, CMove::kPush);
}

void CScriptedEngine::OnProtocol(const Args& args, const Reply& reply)
{
    std::wstring url;
    if (args.size() != 2 || !ArgText(args, 1, &url) || !IsExternalUrl(url))
        return reply(kBadArguments);
    reply("ok");
    Navigate(url, TT_LINK, CMove::kPush);
}

void CScriptedEngine::OnTitle(const Args& args, const Reply& reply)
{
    std::wstring title;
    if (args.size() != 2 || !ArgText(args, 1, &title))
        return reply(kBadArguments);
    reply("ok");
    m_page.title = title;
    if (m_index >= 0)
        m_history[static_cast<size_t>(m_index)].title = title;
    m_site.TitleChange(title);
    Repaint();
}

void CScriptedEngine::OnSubFrame(const Args& args, const Reply& reply)
{
    std::wstring name, url;
    if (args.size() != 3 || !ArgText(args, 1, &name) || !ArgText(args, 2, &url))
        return reply(kBadArguments);
    const int64_t id = m_site.CreateSubFrame(name);
    m_page.subFrames.push_back({id, name, std::wstring()});
    reply("ok frame=" + std::to_string(id));
    LoadSubFrame(id, url);
}

void CScriptedEngine::OnDialog(const Args& args, const Reply& reply)
{
    static const std::map<std::string, cef_jsdialog_type_t> kTypes = {
        {"alert", JSDIALOGTYPE_ALERT}, {"confirm", JSDIALOGTYPE_CONFIRM}, {"prompt", JSDIALOGTYPE_PROMPT}};
    std::wstring message, defaultPrompt;
    const auto type = args.size() > 1 ? kTypes.find(args[1]) : kTypes.end();
    if ((args.size() != 3 && args.size() != 4) || type == kTypes.end() || !ArgText(args, 2, &message) ||
        (args.size() == 4 && !ArgText(args, 3, &defaultPrompt))) {
        return reply(kBadArguments);
    }
    reply("ok");
    const cef_jsdialog_type_t dialogType = type->second;
    m_site.RunJSDialog(dialogType, message, defaultPrompt, [this, dialogType](const CPageAnswer& answer) {
        m_site.Record(m_site.EventLine("DialogResult")
                          .Add("dialog_type", static_cast<int>(dialogType))
                          .Add("answered", answer.answered)
                          .Add("success", answer.accepted)
                          .Add("user_input", answer.text));
        AddNote(DialogName(dialogType) + L": " + AnswerText(answer) + L" " + answer.text);
    });
}

void CScriptedEngine::OnFileDialog(const Args& args, const Reply& reply)
{
    int mode = 0;
    std::wstring title, defaultPath;
    std::vector<std::wstring> filters(args.size() > 4 ? args.size() - 4 : 0);
    bool ok = args.size() >= 4 && ArgInt(args, 1, &mode) && ArgText(args, 2, &title) && ArgText(args, 3, &defaultPath);
    for (size_t i = 0; ok && i < filters.size(); ++i)
        ok = ArgText(args, i + 4, &filters[i]);
    if (!ok)
        return reply(kBadArguments);
    reply("ok");
    m_site.RunFileDialog(mode, title, defaultPath, filters, [this](const CPageAnswer& answer) {
        m_site.Record(m_site.EventLine("FileDialogResult")
                          .Add("answered", answer.answered)
                          .Add("accepted", answer.accepted)
                          .Add("count", static_cast<int>(answer.paths.size())));
        AddNote(L"file dialog: " + AnswerText(answer) + L", " + std::to_wstring(answer.paths.size()) + L" file(s)");
    });
}

void CScriptedEngine::OnPopup(const Args& args, const Reply& reply)
{
    std::wstring url, frameName;
    if ((args.size() != 2 && args.size() != 3) || !ArgText(args, 1, &url) ||
        (args.size() == 3 && !ArgText(args, 2, &frameName))) {
        return reply(kBadArguments);
    }
    reply("ok");
    const bool refused = m_site.BeforePopup(m_site.MainFrameId(), url, frameName);
    m_site.Record(m_site.EventLine(refused ? "PopupRefused" : "PopupOpened").Add("target_url", url));
    AddNote(L"popup " + url + (refused ? L" refused" : L" opened"));
}

void CScriptedEngine::OnDownload(const Args& args, const Reply& reply)
{
    std::wstring url, name, mimeType = L"application/octet-stream";
    if ((args.size() != 3 && args.size() != 4) || !ArgText(args, 1, &url) || !ArgText(args, 2, &name) ||
        (args.size() == 4 && !ArgText(args, 3, &mimeType))) {
        return reply(kBadArguments);
    }
    reply("ok");
    m_site.BeforeDownload(url, name, mimeType, [this, name](const CPageAnswer& answer) {
        m_site.Record(m_site.EventLine("DownloadDecision")
                          .Add("answered", answer.answered)
                          .Add("download_path", answer.text)
                          .Add("show_dialog", answer.showDialog));
        AddNote(L"download " + name + L": " + AnswerText(answer));
    });
}

void CScriptedEngine::OnCertificateError(const Args& args, const Reply& reply)
{
    int code = 0;
    std::wstring url;
    if (args.size() != 3 || !ArgInt(args, 1, &code) || !ArgText(args, 2, &url))
        return reply(kBadArguments);
    reply("ok");
    CertificateNavigation(code, url);
}

void CScriptedEngine::OnCursor(const Args& args, const Reply& reply)
{
    int type = 0;
    if (args.size() != 2 || !ArgInt(args, 1, &type) || type < CT_POINTER || type > CT_CUSTOM) {
        return reply(kBadArguments);
    }
    reply("ok");
    m_site.CursorChange(static_cast<cef_cursor_type_t>(type));
}

void CScriptedEngine::OnConsole(const Args& args, const Reply& reply)
{
    std::wstring message;
    if (args.size() != 2 || !ArgText(args, 1, &message))
        return reply(kBadArguments);
    reply("ok");
    m_site.ConsoleMessage(message, m_page.url, 1);
}

} // namespace cefcompat
