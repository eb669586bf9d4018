// Command records from the add-in, as the host's reader thread decodes them: any bytes, any
// length. A record that decodes must survive encoding and decoding again unchanged, and a
// file dialog's path list must split into non-empty paths without separators.

#include "CommandRecord.h"
#include "FuzzSupport.h"

#include <algorithm>

using namespace NsChannel;
using NsFuzz::Require;

namespace {

bool SameCommand(const Command& a, const Command& b)
{
    return a.code == b.code && a.x == b.x && a.y == b.y && a.deltaX == b.deltaX && a.deltaY == b.deltaY &&
           a.modifiers == b.modifiers && a.moveFlag == b.moveFlag && a.leftButton == b.leftButton &&
           a.buttonDown == b.buttonDown && a.keyCode == b.keyCode && a.keyDown == b.keyDown && a.keyUp == b.keyUp &&
           a.systemKey == b.systemKey && a.spare == b.spare && a.focused == b.focused && a.width == b.width &&
           a.height == b.height && a.answer == b.answer && a.text == b.text && a.paths == b.paths;
}

void CheckPathList(const Command& command)
{
    for (const auto& path : command.paths) {
        Require(!path.empty(), "no empty path");
        Require(path.find(u'|') == std::u16string::npos, "no separator inside a path");
    }
    Require(SplitPathList(JoinPathList(command.paths)) == command.paths, "joined paths split back");
}

void CheckDecodedRecord(const uint8_t* record)
{
    Command command;
    if (!DecodeCommand(record, kCommandRecordSize, command))
        return;
    Require(command.code >= 0 && command.code < kCommandCodeCount, "decoded code in range");
    Require(command.text.find(u'\0') == std::u16string::npos, "decoded text ends at its terminator");
    if (command.code == CMD_FILE_DIALOG_REPLY)
        CheckPathList(command);

    CommandRecord again{};
    Require(EncodeCommand(command, again), "a decoded command encodes");
    Command decodedAgain;
    Require(DecodeCommand(again.data(), again.size(), decodedAgain), "an encoded command decodes");
    Require(SameCommand(command, decodedAgain), "encoding and decoding keep every field");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly as read from the pipe: every length but one is refused.
    Command ignored;
    const bool decoded = DecodeCommand(data, size, ignored);
    Require(!decoded || size == kCommandRecordSize, "only whole records decode");

    // The bytes as a whole record, so that every input reaches the field decoders.
    CommandRecord record{};
    std::copy_n(data, std::min(size, record.size()), record.begin());
    CheckDecodedRecord(record.data());
    return 0;
}
