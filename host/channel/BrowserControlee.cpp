#include "BrowserControlee.h"

#include "ChannelControl.h"
#include "CommandRecord.h"

using NsChannel::Command;

namespace {

// wchar_t is a UTF-16 code unit on Windows, so the conversions copy unit by unit.
std::wstring ToWide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::u16string ToUtf16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

} // namespace

CBrowserControlee::CBrowserControlee(int32_t processId, int32_t index, IBrowserControleeConsumer* consumer)
    : m_consumer(consumer),
      m_processId(processId),
      m_index(index)
{
}

CBrowserControlee::~CBrowserControlee()
{
    Stop();
}

bool CBrowserControlee::Start()
{
    Stop();
    m_channel = std::make_unique<CChannelControl>(m_processId, m_index, this);
    return m_channel->Open(false);
}

void CBrowserControlee::Stop()
{
    if (m_channel)
        m_channel->Close();
    m_channel.reset();
}

void CBrowserControlee::SendFrame(int32_t width, int32_t height, const void* pixels, uint32_t byteCount)
{
    if (m_channel)
        m_channel->WriteFrame(width, height, pixels, byteCount);
}

void CBrowserControlee::SendBrowserEvent(std::wstring text)
{
    if (m_channel)
        m_channel->WriteBrowserEvent(text.c_str(), text.size());
}

void CBrowserControlee::SetConsumer(IBrowserControleeConsumer* consumer)
{
    m_consumer.store(consumer);
}

void CBrowserControlee::OnChannelData(unsigned char* record, int32_t length)
{
    // Read once: the consumer may be detached from another thread meanwhile.
    IBrowserControleeConsumer* consumer = m_consumer.load();
    Command command;
    if (consumer == nullptr || length < 0 || !NsChannel::DecodeCommand(record, static_cast<size_t>(length), command))
        return;
    Dispatch(*consumer, command);
}

void CBrowserControlee::SendReply(const NsChannel::ReplyRecord& reply)
{
    if (m_channel)
        m_channel->WriteReply(reply);
}

void CBrowserControlee::Dispatch(IBrowserControleeConsumer& consumer, const Command& command)
{
    switch (command.code) {
    case NsChannel::CMD_MOUSE_MOVE:
        consumer.MouseMove(command.x, command.y, command.moveFlag, command.modifiers);
        break;
    case NsChannel::CMD_MOUSE_WHEEL:
        consumer.MouseWheel(command.x, command.y, command.deltaX, command.deltaY, command.modifiers);
        break;
    case NsChannel::CMD_MOUSE_CLICK:
        consumer.MouseClick(command.x, command.y, command.leftButton, command.buttonDown, command.modifiers);
        break;
    case NsChannel::CMD_FOCUS: consumer.Focus(command.focused); break;
    case NsChannel::CMD_KEY:
        consumer.KeyEvent(command.keyCode, command.keyDown, command.keyUp, command.systemKey, command.spare);
        break;
    case NsChannel::CMD_GO_BACK: consumer.GoBack(); break;
    case NsChannel::CMD_CAN_GO_BACK:
        SendReply(NsChannel::EncodeFlagReply(NsChannel::REPLY_CAN_GO_BACK, consumer.CanGoBack()));
        break;
    case NsChannel::CMD_GO_FORWARD: consumer.GoForward(); break;
    case NsChannel::CMD_CAN_GO_FORWARD:
        SendReply(NsChannel::EncodeFlagReply(NsChannel::REPLY_CAN_GO_FORWARD, consumer.CanGoForward()));
        break;
    case NsChannel::CMD_LOAD_URL: consumer.LoadUrl(ToWide(command.text)); break;
    case NsChannel::CMD_GET_URL: SendReply(NsChannel::EncodeUrlReply(ToUtf16(consumer.GetUrl()))); break;
    case NsChannel::CMD_RESIZE: consumer.Resize(command.width, command.height); break;
    case NsChannel::CMD_EXECUTE_SCRIPT: consumer.ExecuteScript(ToWide(command.text)); break;
    case NsChannel::CMD_JS_DIALOG_REPLY: consumer.JsDialogReply(command.answer, ToWide(command.text)); break;
    case NsChannel::CMD_FILE_DIALOG_REPLY: {
        std::vector<std::wstring> paths;
        paths.reserve(command.paths.size());
        for (const auto& path : command.paths)
            paths.push_back(ToWide(path));
        consumer.FileDialogReply(command.answer, std::move(paths));
        break;
    }
    case NsChannel::CMD_CLOSE: consumer.Close(); break;
    }
}
