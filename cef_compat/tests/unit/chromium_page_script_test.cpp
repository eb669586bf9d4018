// Extensions on a real page: their native function declarations become calls of the binding,
// and what a page sends through the binding (untrusted) is read back into script values.
#include "engines/chromium_page_script.h"

#include <gtest/gtest.h>

#include <string>

namespace cefcompat {
namespace {

using Kind = CScriptValue::Kind;

TEST(ChromiumPageScript, NativeDeclarationsBecomeCallsOfTheBinding)
{
    const std::string script = PageScriptOf(
        {L"addin/test", L"var t; (function() { t = function(s) { native function send(); return send(s); };\n"
                        L"t.n = function() {native function\tnote (a, b);return note(); }; })();"});
    EXPECT_EQ(script.find("native"), std::string::npos);
    EXPECT_NE(script.find("function send() { return __cefcompatCall('send', arguments); }"), std::string::npos);
    EXPECT_NE(script.find("function note() { return __cefcompatCall('note', arguments); }"), std::string::npos);
    EXPECT_EQ(script.compare(0, 7, "var t; "), 0) << "the rest of the code stays as it is";
}

TEST(ChromiumPageScript, CallsFromThePageAreReadIntoScriptValuesOrRefused)
{
    CNativeCall call;
    ASSERT_TRUE(ParseNativeCall(
        R"(["dispatchEvent", [["s", "x"], ["i", -5], ["u", 4000000000], ["d", 0.5], ["d", null], ["b", true],)"
        R"( ["null"], ["undefined"], ["object"], ["array"]]])",
        &call));
    EXPECT_EQ(call.name, L"dispatchEvent");
    ASSERT_EQ(call.arguments.size(), 10u);
    EXPECT_EQ(call.arguments[0].stringValue, L"x");
    EXPECT_EQ(call.arguments[1].intValue, -5);
    EXPECT_EQ(call.arguments[2].uintValue, 4000000000u);
    EXPECT_EQ(call.arguments[3].doubleValue, 0.5);
    EXPECT_EQ(call.arguments[4].kind, Kind::kDouble) << "NaN arrives as null";
    EXPECT_TRUE(call.arguments[5].boolValue);
    EXPECT_EQ(call.arguments[6].kind, Kind::kNull);
    EXPECT_EQ(call.arguments[7].kind, Kind::kUndefined);
    EXPECT_EQ(call.arguments[8].kind, Kind::kObject);
    EXPECT_EQ(call.arguments[9].kind, Kind::kArray);

    for (const char* payload :
         {"", "{}", "[\"f\"]", "[1, []]", "[\"f\", [[\"s\", 1]]]", "[\"f\", [[\"q\"]]]", "[\"f\", [\"s\"]]"}) {
        EXPECT_FALSE(ParseNativeCall(payload, &call)) << payload;
    }
    std::string many = "[\"f\", [";
    for (int i = 0; i < 300; ++i)
        many += std::string(i ? "," : "") + "[\"null\"]";
    EXPECT_FALSE(ParseNativeCall(many + "]]", &call)) << "too many arguments";
}

} // namespace
} // namespace cefcompat
