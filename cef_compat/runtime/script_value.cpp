#include "runtime/script_value.h"

#include "runtime/text.h"

namespace cefcompat {
namespace {
constexpr uint32_t kMaxMembers = 4096;
}

void CScriptValue::Write(CWireWriter* writer) const
{
    writer->U8(static_cast<uint8_t>(kind));
    switch (kind) {
    case Kind::kBool: writer->Bool(boolValue); break;
    case Kind::kInt: writer->I32(intValue); break;
    case Kind::kUInt: writer->U32(uintValue); break;
    case Kind::kDouble: writer->F64(doubleValue); break;
    case Kind::kString: writer->Text(stringValue); break;
    case Kind::kObject:
    case Kind::kArray:
        writer->U32(static_cast<uint32_t>(members.size()));
        for (const auto& member : members) {
            writer->Text(member.first);
            member.second.Write(writer);
        }
        break;
    default: break;
    }
}

bool CScriptValue::Read(CWireReader* reader, int depth, CScriptValue* value)
{
    uint8_t kind = 0;
    if (depth > kMaxWireDepth || !reader->U8(&kind) || kind > static_cast<uint8_t>(Kind::kArray)) {
        return false;
    }
    *value = CScriptValue();
    value->kind = static_cast<Kind>(kind);
    switch (value->kind) {
    case Kind::kBool: return reader->Bool(&value->boolValue);
    case Kind::kInt: return reader->I32(&value->intValue);
    case Kind::kUInt: return reader->U32(&value->uintValue);
    case Kind::kDouble: return reader->F64(&value->doubleValue);
    case Kind::kString: return reader->Text(&value->stringValue);
    case Kind::kObject:
    case Kind::kArray: {
        uint32_t count = 0;
        if (!reader->U32(&count) || count > kMaxMembers)
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            std::pair<std::wstring, CScriptValue> member;
            if (!reader->Text(&member.first) || !Read(reader, depth + 1, &member.second))
                return false;
            value->members.push_back(std::move(member));
        }
        return true;
    }
    default: return true;
    }
}

std::string CScriptValue::ToText() const
{
    switch (kind) {
    case Kind::kNull: return "null";
    case Kind::kBool: return boolValue ? "b:1" : "b:0";
    case Kind::kInt: return "i:" + std::to_string(intValue);
    case Kind::kUInt: return "u:" + std::to_string(uintValue);
    case Kind::kDouble: return "d:" + FormatDouble(doubleValue);
    case Kind::kString: return "s:" + EncodeText(stringValue);
    case Kind::kObject:
    case Kind::kArray: {
        std::string text = kind == Kind::kObject ? "object" : "array";
        if (!members.empty())
            text += "(" + std::to_string(members.size()) + ")";
        return text;
    }
    default: return "undefined";
    }
}

bool CScriptValue::Parse(const std::string& token, CScriptValue* value)
{
    *value = CScriptValue();
    const std::string body = token.size() > 2 ? token.substr(2) : std::string();
    const std::string prefix = token.substr(0, 2);
    if (token == "undefined")
        return true;
    if (token == "null") {
        value->kind = Kind::kNull;
        return true;
    }
    if (token == "object" || token == "array") {
        value->kind = token == "object" ? Kind::kObject : Kind::kArray;
        return true;
    }
    if (prefix == "b:" && (body == "0" || body == "1")) {
        value->kind = Kind::kBool;
        value->boolValue = body == "1";
        return true;
    }
    if (prefix == "i:") {
        value->kind = Kind::kInt;
        return ParseInt(body, &value->intValue);
    }
    if (prefix == "u:") {
        int64_t v = 0;
        if (!ParseInt64(body, &v) || v < 0 || v > UINT32_MAX)
            return false;
        value->kind = Kind::kUInt;
        value->uintValue = static_cast<uint32_t>(v);
        return true;
    }
    if (prefix == "d:") {
        value->kind = Kind::kDouble;
        return ParseDouble(body, &value->doubleValue);
    }
    if (prefix == "s:") {
        std::string utf8;
        if (!DecodeText(body.empty() ? "-" : body, &utf8))
            return false;
        value->kind = Kind::kString;
        value->stringValue = FromUtf8(utf8);
        return true;
    }
    return false;
}

} // namespace cefcompat
