#include "engines/chromium_page_script.h"

#include <cmath>
#include <regex>

#include <nlohmann/json.hpp>

#include "runtime/text.h"

namespace cefcompat {
namespace {

// What one page may hand over in one call.
constexpr size_t kMaxPayload = 1024 * 1024;
constexpr size_t kMaxArguments = 256;

// The page's values as the binding carries them: [kind, value], kinds as CScriptValue's text
// form names them. Objects and arrays travel without their members.
const char kNativeCaller[] =
    "(() => { const send = globalThis.__cefcompatNative; if (typeof send !== 'function') return; "
    "const encode = (v) => { if (v === undefined) return ['undefined']; if (v === null) return ['null']; "
    "switch (typeof v) { case 'boolean': return ['b', v]; case 'string': return ['s', v]; "
    "case 'number': if (Number.isInteger(v) && v >= -2147483648 && v <= 2147483647) return ['i', v]; "
    "if (Number.isInteger(v) && v >= 0 && v <= 4294967295) return ['u', v]; return ['d', v]; "
    "default: return [Array.isArray(v) ? 'array' : 'object']; } }; "
    "Object.defineProperty(globalThis, '__cefcompatCall', { value: (name, args) => { "
    "send(JSON.stringify([name, Array.prototype.map.call(args, encode)])); } }); })();";

bool ValueOf(const nlohmann::json& item, CScriptValue* value)
{
    using Kind = CScriptValue::Kind;
    if (!item.is_array() || item.empty() || !item[0].is_string())
        return false;
    const std::string kind = item[0].get<std::string>();
    const nlohmann::json field = item.size() > 1 ? item[1] : nlohmann::json();
    if (kind == "undefined")
        value->kind = Kind::kUndefined;
    else if (kind == "null")
        value->kind = Kind::kNull;
    else if (kind == "object")
        value->kind = Kind::kObject;
    else if (kind == "array")
        value->kind = Kind::kArray;
    else if (kind == "b" && field.is_boolean()) {
        value->kind = Kind::kBool;
        value->boolValue = field.get<bool>();
    } else if (kind == "s" && field.is_string()) {
        value->kind = Kind::kString;
        value->stringValue = FromUtf8(field.get<std::string>());
    } else if (kind == "i" && field.is_number_integer()) {
        value->kind = Kind::kInt;
        value->intValue = field.get<int32_t>();
    } else if (kind == "u" && field.is_number_unsigned()) {
        value->kind = Kind::kUInt;
        value->uintValue = field.get<uint32_t>();
    } else if (kind == "d") {
        // JSON has no NaN or infinity: the page sent null for them.
        value->kind = Kind::kDouble;
        value->doubleValue = field.is_number() ? field.get<double>() : std::nan("");
    } else {
        return false;
    }
    return true;
}

} // namespace

const char kNativeBinding[] = "__cefcompatNative";

std::string NativeCallerScript()
{
    return kNativeCaller;
}

std::string PageScriptOf(const CExtensionSource& extension)
{
    static const std::wregex kDeclaration(L"native function\\s+([A-Za-z_$][A-Za-z0-9_$]*)\\s*\\([^)]*\\)");
    const std::wstring code =
        std::regex_replace(extension.code, kDeclaration, L"function $1() { return __cefcompatCall('$1', arguments); }");
    return ToUtf8(code);
}

bool ParseNativeCall(const std::string& payload, CNativeCall* call)
{
    if (payload.size() > kMaxPayload)
        return false;
    const nlohmann::json parsed = nlohmann::json::parse(payload, nullptr, false);
    if (!parsed.is_array() || parsed.size() != 2 || !parsed[0].is_string() || !parsed[1].is_array() ||
        parsed[1].size() > kMaxArguments) {
        return false;
    }
    call->name = FromUtf8(parsed[0].get<std::string>());
    call->arguments.clear();
    for (const nlohmann::json& item : parsed[1]) {
        CScriptValue value;
        if (!ValueOf(item, &value))
            return false;
        call->arguments.push_back(std::move(value));
    }
    return true;
}

std::string ThrowLaterScript(const std::wstring& message)
{
    return "setTimeout(() => { throw new Error(" +
           nlohmann::json(ToUtf8(message)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "); }, 0);";
}

} // namespace cefcompat
