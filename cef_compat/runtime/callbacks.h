// The callback objects handed to the client with a question (script dialog, file dialog,
// download, certificate error). Each records its one answer, from any thread, and passes it to
// the page on the UI thread; a callback released unanswered is recorded as dropped.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_dialog_handler.h"
#include "include/cef_download_handler.h"
#include "include/cef_jsdialog_handler.h"
#include "include/cef_request_handler.h"
#include "runtime/text.h"

namespace cefcompat {

class CBrowserRuntime;

struct CPageAnswer {
    bool answered = false; // false: dropped, cancelled by default, or the browser went away
    bool accepted = false; // Continue(success / allow); for downloads: Continue at all; unanswered: the default
    std::wstring text; // prompt input, or the download path
    std::vector<std::wstring> paths;
    int selectedFilter = 0;
    bool showDialog = false;
};

// Runs on the UI thread with the client's answer.
using CAnswerFn = std::function<void(const CPageAnswer&)>;

class CAnswerSlot {
public:
    CAnswerSlot(std::shared_ptr<CBrowserRuntime> runtime, const char* kind, int id, CAnswerFn onAnswer);
    CAnswerSlot(const CAnswerSlot&) = delete;
    CAnswerSlot& operator=(const CAnswerSlot&) = delete;

    // Records |line| (marked ignored=1 after the first answer) and, for the first answer,
    // passes |answer| on.
    void Answer(CLine line, const CPageAnswer& answer);
    // Ends the question without an answer from the client unless one came already: recorded as
    // "<kind>.<how>" ("Default" when the client did not take the question, "Dropped" when it
    // released the callback unanswered). |accepted|: what the default is.
    void Settle(const char* how, bool accepted = false);
    CLine Line(const char* method) const;

private:
    std::shared_ptr<CBrowserRuntime> m_runtime;
    const std::string m_kind;
    const int m_id;
    std::mutex m_mutex;
    CAnswerFn m_onAnswer; // empty once answered
};

class CJSDialogCallbackImpl : public CefJSDialogCallback {
public:
    CJSDialogCallbackImpl(std::shared_ptr<CBrowserRuntime> runtime, int id, CAnswerFn onAnswer)
        : m_slot(std::move(runtime), "JSDialogCallback", id, std::move(onAnswer))
    {
    }
    ~CJSDialogCallbackImpl() OVERRIDE { m_slot.Settle("Dropped"); }
    void Settle(const char* how, bool accepted = false) { m_slot.Settle(how, accepted); }
    void Continue(bool success, const CefString& user_input) OVERRIDE;

private:
    CAnswerSlot m_slot;
    IMPLEMENT_REFCOUNTING(CJSDialogCallbackImpl)
};

class CFileDialogCallbackImpl : public CefFileDialogCallback {
public:
    CFileDialogCallbackImpl(std::shared_ptr<CBrowserRuntime> runtime, int id, CAnswerFn onAnswer)
        : m_slot(std::move(runtime), "FileDialogCallback", id, std::move(onAnswer))
    {
    }
    ~CFileDialogCallbackImpl() OVERRIDE { m_slot.Settle("Dropped"); }
    void Settle(const char* how) { m_slot.Settle(how); }
    void Continue(int selected_accept_filter, const std::vector<CefString>& file_paths) OVERRIDE;
    void Cancel() OVERRIDE;

private:
    CAnswerSlot m_slot;
    IMPLEMENT_REFCOUNTING(CFileDialogCallbackImpl)
};

class CBeforeDownloadCallbackImpl : public CefBeforeDownloadCallback {
public:
    CBeforeDownloadCallbackImpl(std::shared_ptr<CBrowserRuntime> runtime, int id, CAnswerFn onAnswer)
        : m_slot(std::move(runtime), "BeforeDownloadCallback", id, std::move(onAnswer))
    {
    }
    ~CBeforeDownloadCallbackImpl() OVERRIDE { m_slot.Settle("Dropped"); }
    void Settle(const char* how) { m_slot.Settle(how); }
    void Continue(const CefString& download_path, bool show_dialog) OVERRIDE;

private:
    CAnswerSlot m_slot;
    IMPLEMENT_REFCOUNTING(CBeforeDownloadCallbackImpl)
};

class CRequestCallbackImpl : public CefRequestCallback {
public:
    CRequestCallbackImpl(std::shared_ptr<CBrowserRuntime> runtime, int id, CAnswerFn onAnswer)
        : m_slot(std::move(runtime), "RequestCallback", id, std::move(onAnswer))
    {
    }
    ~CRequestCallbackImpl() OVERRIDE { m_slot.Settle("Dropped"); }
    void Settle(const char* how) { m_slot.Settle(how); }
    void Continue(bool allow) OVERRIDE;
    void Cancel() OVERRIDE;

private:
    CAnswerSlot m_slot;
    IMPLEMENT_REFCOUNTING(CRequestCallbackImpl)
};

} // namespace cefcompat
