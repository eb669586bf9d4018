// A page-script value as it travels between the processes: what a native function receives
// and returns.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/wire.h"

namespace cefcompat {

struct CScriptValue {
    enum class Kind : uint8_t { kUndefined, kNull, kBool, kInt, kUInt, kDouble, kString, kObject, kArray };

    Kind kind = Kind::kUndefined;
    bool boolValue = false;
    int32_t intValue = 0;
    uint32_t uintValue = 0;
    double doubleValue = 0;
    std::wstring stringValue;
    // Object members, or array elements (with empty keys).
    std::vector<std::pair<std::wstring, CScriptValue>> members;

    void Write(CWireWriter* writer) const;
    static bool Read(CWireReader* reader, int depth, CScriptValue* value);

    // "undefined", "null", "b:1", "i:-5", "u:5", "d:0.5", "s:<encoded text>", "object",
    // "array"; objects and arrays with content add their size: "object(2)".
    std::string ToText() const;
    // Reads the forms above (objects and arrays only empty). False for anything else.
    static bool Parse(const std::string& token, CScriptValue* value);
};

} // namespace cefcompat
