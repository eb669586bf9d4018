// What happens in the browser, turned into event texts for the add-in, and the policies that
// are settled without asking anyone: popups, downloads, certificate errors and external
// protocols. Script and file dialogs wait on the UI thread for the add-in's answer.
//
// Payloads are appended unescaped: the add-in reads each text by its prefix alone.

#include "OffscreenBrowserWindow.h"

#include "JsExtension.h"

#include "include/cef_process_message.h"

#include <string>
#include <vector>

namespace {

const wchar_t kAddressEvent[] = L"address:";
const wchar_t kLoadStartEvent[] = L"loadStart:";
const wchar_t kLoadEndEvent[] = L"loadEnd:";
const wchar_t kLoadErrorEvent[] = L"loadError:";
const wchar_t kJsDispatchEvent[] = L"JSDispatch:";
const wchar_t kAddinTraceEvent[] = L"addinTrace:";
const wchar_t kWindowOpenEvent[] = L"JSDispatch:windowOpen:";
const wchar_t kAlertEvent[] = L"alert:";
const wchar_t kConfirmEvent[] = L"confirm:";
const wchar_t kPromptEvent[] = L"prompt:";
const wchar_t kPromptDefaultSeparator[] = L"~";
const wchar_t kFileDialogEvent[] = L"fileDialog:";

// Run in every frame that has loaded, so that the page can neither close nor open a window
// by itself: both requests reach the add-in instead.
const wchar_t kWindowCloseScript[] = L"window.close = function() { brelvo.Mevora.dispatchEvent('windowClose'); };";
const wchar_t kWindowOpenScript[] =
    L"window.open = function(address) { brelvo.Mevora.dispatchEvent('windowOpen:'+address); };";

// The event prefix of a page-script message, or null for a message of another name.
const wchar_t* PageScriptEventPrefix(const CefString& messageName)
{
    if (messageName == g_jsDispatchMessageName)
        return kJsDispatchEvent;
    if (messageName == g_addinTraceMessageName)
        return kAddinTraceEvent;
    return nullptr;
}

std::wstring JsDialogQuestion(cef_jsdialog_type_t type, const CefString& message, const CefString& defaultPromptText)
{
    if (type == JSDIALOGTYPE_CONFIRM)
        return kConfirmEvent + message.ToWString();
    std::wstring question = kPromptEvent + message.ToWString();
    if (!defaultPromptText.empty())
        question += kPromptDefaultSeparator + defaultPromptText.ToWString();
    return question;
}

// Every part ends in "|"; empty title and default path are left out, the filters keep CEF's
// order.
std::wstring FileDialogQuestion(int mode, const CefString& title, const CefString& defaultPath,
                                const std::vector<CefString>& acceptFilters)
{
    std::wstring question = kFileDialogEvent;
    question += L"dialogMode:" + std::to_wstring(mode) + L"|";
    if (!title.empty())
        question += L"title:" + title.ToWString() + L"|";
    if (!defaultPath.empty())
        question += L"defFileName:" + defaultPath.ToWString() + L"|";
    for (const CefString& filter : acceptFilters)
        question += L"fileType:" + filter.ToWString() + L"|";
    return question;
}

} // namespace

// Parks the callback for the add-in's answer (JsDialogReply, FileDialogReply), sends the
// question and blocks the UI thread until the answer has used the callback or Close has
// dropped it. False, with nothing parked and nothing sent, when no answer can ever come:
// there is no channel, or Close has already run.
template <typename Callback>
bool COffscreenBrowserWindow::AskAddin(const std::wstring& question, CefRefPtr<Callback> callback,
                                       CefRefPtr<Callback>& parked, const NsWin32::CKernelHandle& answered)
{
    {
        // Under the lock that Close takes, so that its wake-up cannot come before the reset.
        std::lock_guard<std::mutex> lock(m_sharedLock);
        if (!m_controlee || m_closeRequested)
            return false;
        ::ResetEvent(answered.Get());
        parked = callback;
    }
    SendEvent(question);
    ::WaitForSingleObject(answered.Get(), INFINITE);

    std::lock_guard<std::mutex> lock(m_sharedLock);
    parked = nullptr;
    return true;
}

// CefClient

bool COffscreenBrowserWindow::OnProcessMessageReceived(CefRefPtr<CefBrowser> /*browser*/,
                                                       CefProcessId /*sourceProcess*/,
                                                       CefRefPtr<CefProcessMessage> message)
{
    CEF_REQUIRE_UI_THREAD();
    const wchar_t* prefix = PageScriptEventPrefix(message->GetName());
    if (!prefix)
        return false;
    // The renderer is not trusted to have filled the list as our extension does.
    CefRefPtr<CefListValue> arguments = message->GetArgumentList();
    if (arguments && arguments->GetSize() >= 1 && arguments->GetType(0) == VTYPE_STRING)
        SendEvent(prefix + arguments->GetString(0).ToWString());
    return false;
}

// CefDisplayHandler

void COffscreenBrowserWindow::OnAddressChange(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                                              const CefString& url)
{
    CEF_REQUIRE_UI_THREAD();
    const std::wstring address = url;
    {
        std::lock_guard<std::mutex> lock(m_sharedLock);
        m_address = address;
    }
    UpdateWindowTitle();
    SendEvent(kAddressEvent + address);
}

void COffscreenBrowserWindow::OnTitleChange(CefRefPtr<CefBrowser> /*browser*/, const CefString& title)
{
    CEF_REQUIRE_UI_THREAD();
    if (title.empty())
        return;
    m_title = title;
    UpdateWindowTitle();
}

bool COffscreenBrowserWindow::OnConsoleMessage(CefRefPtr<CefBrowser> /*browser*/, const CefString& /*message*/,
                                               const CefString& /*source*/, int /*line*/)
{
    CEF_REQUIRE_UI_THREAD();
    return true;
}

// CefLifeSpanHandler

bool COffscreenBrowserWindow::OnBeforePopup(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                                            const CefString& targetUrl, const CefString& /*targetFrameName*/,
                                            const CefPopupFeatures& /*popupFeatures*/, CefWindowInfo& /*windowInfo*/,
                                            CefRefPtr<CefClient>& /*client*/, CefBrowserSettings& /*settings*/,
                                            bool* /*noJavascriptAccess*/)
{
    // No thread check: CEF calls this one on its IO thread. Sending an event is safe there,
    // the channel writes it under its own mutex.
    // We host exactly one browser: the add-in decides what to do with the address.
    SendEvent(kWindowOpenEvent + targetUrl.ToWString());
    return true;
}

// CefJSDialogHandler

bool COffscreenBrowserWindow::OnJSDialog(CefRefPtr<CefBrowser> /*browser*/, const CefString& /*originUrl*/,
                                         const CefString& /*acceptLanguage*/, JSDialogType dialogType,
                                         const CefString& messageText, const CefString& defaultPromptText,
                                         CefRefPtr<CefJSDialogCallback> callback, bool& /*suppressMessage*/)
{
    CEF_REQUIRE_UI_THREAD();
    const NsWin32::CMutexLock dialogLock(m_dialogMutex.Get(), INFINITE);
    if (dialogType == JSDIALOGTYPE_ALERT) {
        // An alert needs no answer: the page goes on at once.
        SendEvent(kAlertEvent + messageText.ToWString());
        callback->Continue(true, CefString());
        return true;
    }
    // Nobody can answer: the dialog is declined at once rather than blocking the UI thread.
    if (!AskAddin(JsDialogQuestion(dialogType, messageText, defaultPromptText), callback, m_jsDialogCallback,
                  m_jsDialogEvent))
        callback->Continue(false, CefString());
    return true;
}

// CefDialogHandler

bool COffscreenBrowserWindow::OnFileDialog(CefRefPtr<CefBrowser> /*browser*/, FileDialogMode mode,
                                           const CefString& title, const CefString& defaultFilePath,
                                           const std::vector<CefString>& acceptFilters, int /*selectedAcceptFilter*/,
                                           CefRefPtr<CefFileDialogCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    if (!AskAddin(FileDialogQuestion(mode, title, defaultFilePath, acceptFilters), callback, m_fileDialogCallback,
                  m_fileDialogEvent))
        callback->Cancel();
    return true;
}

// CefDownloadHandler

void COffscreenBrowserWindow::OnBeforeDownload(CefRefPtr<CefBrowser> /*browser*/,
                                               CefRefPtr<CefDownloadItem> /*downloadItem*/,
                                               const CefString& /*suggestedName*/,
                                               CefRefPtr<CefBeforeDownloadCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    // Every download is offered to the user in CEF's own save dialog.
    callback->Continue(CefString(), true);
}

// CefLoadHandler: sub-frames are reported exactly like the main frame.

void COffscreenBrowserWindow::OnLoadStart(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/)
{
    CEF_REQUIRE_UI_THREAD();
    SendEvent(kLoadStartEvent);
}

void COffscreenBrowserWindow::OnLoadEnd(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> frame,
                                        int httpStatusCode)
{
    CEF_REQUIRE_UI_THREAD();
    SendEvent(kLoadEndEvent + std::to_wstring(httpStatusCode));
    const CefString url = frame->GetURL();
    frame->ExecuteJavaScript(kWindowCloseScript, url, 0);
    frame->ExecuteJavaScript(kWindowOpenScript, url, 0);
}

void COffscreenBrowserWindow::OnLoadError(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                                          ErrorCode /*errorCode*/, const CefString& errorText,
                                          const CefString& /*failedUrl*/)
{
    CEF_REQUIRE_UI_THREAD();
    SendEvent(kLoadErrorEvent + errorText.ToWString());
}

// CefRequestHandler

bool COffscreenBrowserWindow::OnBeforeBrowse(CefRefPtr<CefBrowser> /*browser*/, CefRefPtr<CefFrame> /*frame*/,
                                             CefRefPtr<CefRequest> /*request*/, bool /*isRedirect*/)
{
    CEF_REQUIRE_UI_THREAD();
    // The operating system has taken the last external address; the one navigation that
    // follows it is dropped, whichever frame it is for.
    if (!m_externalProtocolPending)
        return false;
    m_externalProtocolPending = false;
    return true;
}

void COffscreenBrowserWindow::OnProtocolExecution(CefRefPtr<CefBrowser> /*browser*/, const CefString& /*url*/,
                                                  bool& allowOsExecution)
{
    CEF_REQUIRE_UI_THREAD();
    allowOsExecution = true;
    m_externalProtocolPending = true;
}

bool COffscreenBrowserWindow::OnCertificateError(CefRefPtr<CefBrowser> /*browser*/, cef_errorcode_t /*certError*/,
                                                 const CefString& /*requestUrl*/, CefRefPtr<CefSSLInfo> /*sslInfo*/,
                                                 CefRefPtr<CefRequestCallback> callback)
{
    CEF_REQUIRE_UI_THREAD();
    callback->Continue(true);
    return true;
}
