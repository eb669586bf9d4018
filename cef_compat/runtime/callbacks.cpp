#include "runtime/callbacks.h"

#include "runtime/browser_runtime.h"

namespace cefcompat {

CAnswerSlot::CAnswerSlot(std::shared_ptr<CBrowserRuntime> runtime, const char* kind, int id, CAnswerFn onAnswer)
    : m_runtime(std::move(runtime)),
      m_kind(kind),
      m_id(id),
      m_onAnswer(std::move(onAnswer))
{
}

CLine CAnswerSlot::Line(const char* method) const
{
    const std::string name = m_kind + "." + method;
    CLine line("call", name.c_str());
    line.Add("id", m_id).Add("on_ui", m_runtime->OnUiThread());
    return line;
}

void CAnswerSlot::Answer(CLine line, const CPageAnswer& answer)
{
    CAnswerFn onAnswer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        onAnswer = std::move(m_onAnswer);
        m_onAnswer = nullptr;
    }
    if (!onAnswer)
        line.Add("ignored", true);
    m_runtime->Record(line);
    if (onAnswer)
        m_runtime->PostUi([onAnswer, answer]() { onAnswer(answer); });
}

void CAnswerSlot::Settle(const char* how, bool accepted)
{
    CAnswerFn onAnswer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        onAnswer = std::move(m_onAnswer);
        m_onAnswer = nullptr;
    }
    if (!onAnswer)
        return;
    const std::string name = m_kind + "." + how;
    m_runtime->Record(CLine("event", name.c_str()).Add("id", m_id));
    CPageAnswer answer;
    answer.accepted = accepted;
    m_runtime->PostUi([onAnswer, answer]() { onAnswer(answer); });
}

void CJSDialogCallbackImpl::Continue(bool success, const CefString& user_input)
{
    CPageAnswer answer;
    answer.answered = true;
    answer.accepted = success;
    answer.text = user_input.ToWString();
    m_slot.Answer(m_slot.Line("Continue").Add("success", success).Add("user_input", user_input), answer);
}

void CFileDialogCallbackImpl::Continue(int selected_accept_filter, const std::vector<CefString>& file_paths)
{
    CPageAnswer answer;
    answer.answered = true;
    answer.accepted = true;
    answer.selectedFilter = selected_accept_filter;
    std::vector<std::string> items;
    for (const CefString& path : file_paths) {
        answer.paths.push_back(path.ToWString());
        items.push_back(EncodeText(path.ToWString()));
    }
    m_slot.Answer(m_slot.Line("Continue")
                      .Add("selected_accept_filter", selected_accept_filter)
                      .Add("count", static_cast<int>(file_paths.size()))
                      .AddRaw("file_paths", JoinList(items)),
                  answer);
}

void CFileDialogCallbackImpl::Cancel()
{
    CPageAnswer answer;
    answer.answered = true;
    m_slot.Answer(m_slot.Line("Cancel"), answer);
}

void CBeforeDownloadCallbackImpl::Continue(const CefString& download_path, bool show_dialog)
{
    CPageAnswer answer;
    answer.answered = true;
    answer.accepted = true;
    answer.text = download_path.ToWString();
    answer.showDialog = show_dialog;
    m_slot.Answer(m_slot.Line("Continue").Add("download_path", download_path).Add("show_dialog", show_dialog), answer);
}

void CRequestCallbackImpl::Continue(bool allow)
{
    CPageAnswer answer;
    answer.answered = true;
    answer.accepted = allow;
    m_slot.Answer(m_slot.Line("Continue").Add("allow", allow), answer);
}

void CRequestCallbackImpl::Cancel()
{
    CPageAnswer answer;
    answer.answered = true;
    m_slot.Answer(m_slot.Line("Cancel"), answer);
}

} // namespace cefcompat
