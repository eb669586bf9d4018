// Reply records: what the host encodes for the three queries must decode to the same answer,
// and any record the add-in's side decodes stays inside its bytes.

#include "CommandRecord.h"
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

using namespace NsChannel;
using NsFuzz::Require;

namespace {

constexpr size_t kPayloadOffset = 4;

bool PayloadIsZeroFrom(const ReplyRecord& record, size_t offset)
{
    return std::all_of(record.begin() + static_cast<std::ptrdiff_t>(offset), record.end(),
                       [](uint8_t byte) { return byte == 0; });
}

void CheckUrlReply(const std::u16string& url)
{
    const ReplyRecord record = EncodeUrlReply(url);
    Reply reply;
    Require(DecodeReply(record.data(), record.size(), reply), "an address reply decodes");
    Require(reply.kind == REPLY_URL, "address reply kind");
    const std::u16string expected = NsFuzz::UpToNul(url.substr(0, kMaxReplyUrlUnits));
    Require(reply.url == expected, "the address comes back cut and up to its first NUL");
    Require(PayloadIsZeroFrom(record, kPayloadOffset + 2 * std::min(url.size(), kMaxReplyUrlUnits)),
            "the address is terminated and followed by zeros");
}

void CheckFlagReply(bool forward, bool value)
{
    const ReplyKind kind = forward ? REPLY_CAN_GO_FORWARD : REPLY_CAN_GO_BACK;
    const ReplyRecord record = EncodeFlagReply(kind, value);
    Reply reply;
    Require(DecodeReply(record.data(), record.size(), reply), "a flag reply decodes");
    Require(reply.kind == kind && reply.flag == value, "the flag reply keeps kind and answer");
    Require(PayloadIsZeroFrom(record, kPayloadOffset + 1), "a flag reply carries nothing else");
}

void CheckAnyRecord(const std::vector<uint8_t>& bytes)
{
    Reply reply;
    Require(!DecodeReply(bytes.data(), bytes.size(), reply) || bytes.size() == kReplyRecordSize,
            "only whole replies decode");
    ReplyRecord record{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), record.size()), record.begin());
    if (DecodeReply(record.data(), record.size(), reply))
        Require(reply.url.size() <= kReplyPayloadSize / 2, "a decoded address stays inside its field");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0: {
        const bool forward = input.ConsumeBool();
        CheckFlagReply(forward, input.ConsumeBool());
        break;
    }
    case 1: {
        const auto bytes = input.ConsumeRemainingBytes<uint8_t>();
        CheckUrlReply(NsFuzz::UnitsFromBytes(bytes.data(), bytes.size()));
        break;
    }
    default: CheckAnyRecord(input.ConsumeRemainingBytes<uint8_t>()); break;
    }
    return 0;
}
