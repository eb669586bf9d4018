#pragma once

// Command and reply records of the pipe: layout, decoding and encoding. Plain C++ over bytes
// (no Windows headers), so it can be built and fuzzed on any platform.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace NsChannel {

constexpr size_t kCommandRecordSize = 4104;
constexpr size_t kReplyRecordSize = 4172;
constexpr size_t kReplyPayloadSize = kReplyRecordSize - 4;
// The address field of a reply holds at most this many code units before its terminator.
constexpr size_t kMaxReplyUrlUnits = kReplyPayloadSize / 2 - 1;

using CommandRecord = std::array<uint8_t, kCommandRecordSize>;
using ReplyRecord = std::array<uint8_t, kReplyRecordSize>;

enum CommandCode : int32_t {
    CMD_MOUSE_MOVE = 0,
    CMD_MOUSE_WHEEL = 1,
    CMD_MOUSE_CLICK = 2,
    CMD_FOCUS = 3,
    CMD_KEY = 4,
    CMD_GO_BACK = 5,
    CMD_CAN_GO_BACK = 6,
    CMD_GO_FORWARD = 7,
    CMD_CAN_GO_FORWARD = 8,
    CMD_LOAD_URL = 9,
    CMD_GET_URL = 10,
    CMD_RESIZE = 11,
    CMD_EXECUTE_SCRIPT = 12,
    CMD_JS_DIALOG_REPLY = 13,
    CMD_FILE_DIALOG_REPLY = 14,
    CMD_CLOSE = 15,
};
constexpr int32_t kCommandCodeCount = 16;

enum ReplyKind : int32_t {
    REPLY_CAN_GO_BACK = 0,
    REPLY_CAN_GO_FORWARD = 1,
    REPLY_URL = 2,
};

// One command with every field any code can carry; each code uses only its own fields.
struct Command {
    CommandCode code = CMD_MOUSE_MOVE;
    // Mouse commands.
    int32_t x = 0;
    int32_t y = 0;
    int32_t deltaX = 0;
    int32_t deltaY = 0;
    int32_t modifiers = 0;
    bool moveFlag = false;
    bool leftButton = false;
    bool buttonDown = false;
    // Key command.
    int32_t keyCode = 0;
    bool keyDown = false;
    bool keyUp = false;
    bool systemKey = false;
    bool spare = false;
    // Focus.
    bool focused = false;
    // Resize.
    int32_t width = 0;
    int32_t height = 0;
    // Dialog answers: the success flag of a script dialog, or a file dialog's accepted flag.
    bool answer = false;
    // Address, script, dialog input, or the raw "|"-joined path list of a file dialog answer.
    std::u16string text;
    // File dialog answer: the path list split into its non-empty paths.
    std::vector<std::u16string> paths;
};

// Decodes a record of exactly kCommandRecordSize bytes. Fails for any other length, an
// unknown code, or a text field whose terminator is not inside the record.
bool DecodeCommand(const uint8_t* record, size_t length, Command& command);

// Encodes the fields of command.code. Fails for an unknown code, or a text that contains a
// NUL or does not fit its field with its terminator.
bool EncodeCommand(const Command& command, CommandRecord& record);

// A file dialog's path list: tokens between "|", empty tokens skipped.
std::vector<std::u16string> SplitPathList(const std::u16string& list);
std::u16string JoinPathList(const std::vector<std::u16string>& paths);

struct Reply {
    ReplyKind kind = REPLY_CAN_GO_BACK;
    bool flag = false; // the two navigation queries
    std::u16string url; // REPLY_URL
};

// Kind 0 or 1 with the answer in byte 4; every other payload byte is zero.
ReplyRecord EncodeFlagReply(ReplyKind kind, bool value);
// Kind 2 with the address cut to kMaxReplyUrlUnits, terminated and zero-padded.
ReplyRecord EncodeUrlReply(const std::u16string& url);
// Fails for another length or an unknown kind; an address without terminator is read up to
// the end of its field.
bool DecodeReply(const uint8_t* record, size_t length, Reply& reply);

} // namespace NsChannel
