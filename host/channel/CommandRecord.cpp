#include "CommandRecord.h"

#include "ByteOrder.h"

#include <algorithm>

namespace NsChannel {

namespace {

constexpr size_t kCodeOffset = 0;
constexpr size_t kReplyPayloadOffset = 4;
// Texts start right after the code, or after a bool and a padding byte.
constexpr size_t kTextOffset = 4;
constexpr size_t kTextAfterFlagOffset = 6;
constexpr char16_t kPathSeparator = u'|';

bool ReadBool(const uint8_t* record, size_t offset)
{
    return record[offset] != 0;
}

void WriteBool(uint8_t* record, size_t offset, bool value)
{
    record[offset] = value ? 1 : 0;
}

// The text runs to the first NUL; without one inside the record the field is unusable.
bool ReadText(const uint8_t* record, size_t offset, std::u16string& text)
{
    text.clear();
    for (size_t at = offset; at + 2 <= kCommandRecordSize; at += 2) {
        const char16_t unit = ReadUnit(record + at);
        if (unit == 0)
            return true;
        text.push_back(unit);
    }
    text.clear();
    return false;
}

bool WriteText(uint8_t* record, size_t offset, const std::u16string& text)
{
    const size_t capacity = (kCommandRecordSize - offset) / 2;
    if (text.size() >= capacity || text.find(u'\0') != std::u16string::npos)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        WriteUnit(record + offset + 2 * i, text[i]);
    return true; // the record was zero-filled, so the terminator is already there
}

// The layouts of the records, shared by both directions so that they cannot drift apart.
// Each member is called with either (const uint8_t*, Command&) or (uint8_t*, const Command&).
struct Decoder {
    const uint8_t* record;
    Command& command;

    void Int(size_t offset, int32_t Command::*field) { command.*field = ReadInt32(record + offset); }
    void Bool(size_t offset, bool Command::*field) { command.*field = ReadBool(record, offset); }
    bool Text(size_t offset) { return ReadText(record, offset, command.text); }
};

struct Encoder {
    uint8_t* record;
    const Command& command;

    void Int(size_t offset, int32_t Command::*field) { WriteInt32(record + offset, command.*field); }
    void Bool(size_t offset, bool Command::*field) { WriteBool(record, offset, command.*field); }
    bool Text(size_t offset) { return WriteText(record, offset, command.text); }
};

template <typename Codec>
bool TransferFields(CommandCode code, Codec codec)
{
    switch (code) {
    case CMD_MOUSE_MOVE:
        codec.Int(4, &Command::x);
        codec.Int(8, &Command::y);
        codec.Bool(12, &Command::moveFlag);
        codec.Int(16, &Command::modifiers);
        return true;
    case CMD_MOUSE_WHEEL:
        codec.Int(4, &Command::x);
        codec.Int(8, &Command::y);
        codec.Int(12, &Command::deltaX);
        codec.Int(16, &Command::deltaY);
        codec.Int(20, &Command::modifiers);
        return true;
    case CMD_MOUSE_CLICK:
        codec.Int(4, &Command::x);
        codec.Int(8, &Command::y);
        codec.Bool(13, &Command::leftButton);
        codec.Bool(14, &Command::buttonDown);
        codec.Int(16, &Command::modifiers);
        return true;
    case CMD_FOCUS: codec.Bool(4, &Command::focused); return true;
    case CMD_KEY:
        codec.Int(4, &Command::keyCode);
        codec.Bool(8, &Command::keyDown);
        codec.Bool(9, &Command::keyUp);
        codec.Bool(10, &Command::systemKey);
        codec.Bool(11, &Command::spare);
        return true;
    case CMD_RESIZE:
        codec.Int(4, &Command::width);
        codec.Int(8, &Command::height);
        return true;
    case CMD_LOAD_URL:
    case CMD_EXECUTE_SCRIPT: return codec.Text(kTextOffset);
    case CMD_JS_DIALOG_REPLY:
    case CMD_FILE_DIALOG_REPLY: codec.Bool(4, &Command::answer); return codec.Text(kTextAfterFlagOffset);
    case CMD_GO_BACK:
    case CMD_CAN_GO_BACK:
    case CMD_GO_FORWARD:
    case CMD_CAN_GO_FORWARD:
    case CMD_GET_URL:
    case CMD_CLOSE: return true;
    }
    return false;
}

bool IsCommandCode(int32_t code)
{
    return code >= 0 && code < kCommandCodeCount;
}

} // namespace

bool DecodeCommand(const uint8_t* record, size_t length, Command& command)
{
    if (record == nullptr || length != kCommandRecordSize)
        return false;
    const int32_t code = ReadInt32(record + kCodeOffset);
    if (!IsCommandCode(code))
        return false;
    command = Command{};
    command.code = static_cast<CommandCode>(code);
    if (!TransferFields(command.code, Decoder{record, command}))
        return false;
    if (command.code == CMD_FILE_DIALOG_REPLY)
        command.paths = SplitPathList(command.text);
    return true;
}

bool EncodeCommand(const Command& command, CommandRecord& record)
{
    record.fill(0);
    if (!IsCommandCode(command.code))
        return false;
    WriteInt32(record.data() + kCodeOffset, command.code);
    return TransferFields(command.code, Encoder{record.data(), command});
}

std::vector<std::u16string> SplitPathList(const std::u16string& list)
{
    std::vector<std::u16string> paths;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(kPathSeparator, start);
        if (end == std::u16string::npos)
            end = list.size();
        if (end > start)
            paths.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return paths;
}

std::u16string JoinPathList(const std::vector<std::u16string>& paths)
{
    std::u16string list;
    for (const auto& path : paths) {
        if (!list.empty())
            list.push_back(kPathSeparator);
        list += path;
    }
    return list;
}

ReplyRecord EncodeFlagReply(ReplyKind kind, bool value)
{
    ReplyRecord record{};
    WriteInt32(record.data() + kCodeOffset, kind);
    WriteBool(record.data(), kReplyPayloadOffset, value);
    return record;
}

ReplyRecord EncodeUrlReply(const std::u16string& url)
{
    ReplyRecord record{};
    WriteInt32(record.data() + kCodeOffset, REPLY_URL);
    const size_t units = std::min(url.size(), kMaxReplyUrlUnits);
    for (size_t i = 0; i < units; ++i)
        WriteUnit(record.data() + kReplyPayloadOffset + 2 * i, url[i]);
    return record;
}

bool DecodeReply(const uint8_t* record, size_t length, Reply& reply)
{
    if (record == nullptr || length != kReplyRecordSize)
        return false;
    reply = Reply{};
    const int32_t kind = ReadInt32(record + kCodeOffset);
    switch (kind) {
    case REPLY_CAN_GO_BACK:
    case REPLY_CAN_GO_FORWARD:
        reply.kind = static_cast<ReplyKind>(kind);
        reply.flag = ReadBool(record, kReplyPayloadOffset);
        return true;
    case REPLY_URL:
        reply.kind = REPLY_URL;
        for (size_t at = kReplyPayloadOffset; at + 2 <= kReplyRecordSize; at += 2) {
            const char16_t unit = ReadUnit(record + at);
            if (unit == 0)
                break;
            reply.url.push_back(unit);
        }
        return true;
    default: return false;
    }
}

} // namespace NsChannel
