// The private pipe's byte form and the values it carries: whatever the other process sends is
// read within its bounds or refused.
#include <gtest/gtest.h>

#include "runtime/script_value.h"
#include "runtime/v8_impl.h"
#include "runtime/values.h"
#include "runtime/wire.h"

namespace {

using cefcompat::CListValueImpl;
using cefcompat::CScriptValue;
using cefcompat::CWireReader;
using cefcompat::CWireWriter;

TEST(WireTest, TruncatedAndOversizedInputIsRefused)
{
    CWireWriter writer;
    writer.U32(0x7FFFFFFF); // a text claiming two billion units, with none behind it
    CWireReader reader(writer.Bytes());
    std::wstring text;
    EXPECT_FALSE(reader.Text(&text));
    EXPECT_TRUE(text.empty());

    const std::string three("\x01\x02\x03", 3);
    CWireReader shortReader(three);
    uint32_t value = 0;
    EXPECT_FALSE(shortReader.U32(&value));

    const std::string seven("\x07", 1);
    CWireReader badBool(seven);
    bool flag = false;
    EXPECT_FALSE(badBool.Bool(&flag));
}

TEST(ListValueTest, RoundTripsEveryTypeIncludingNestedLists)
{
    CefRefPtr<CListValueImpl> list = new CListValueImpl();
    list->SetString(0, "text");
    list->SetInt(1, -7);
    list->SetDouble(2, 0.5);
    list->SetBool(3, true);
    list->SetNull(4);
    CefRefPtr<CefListValue> inner = CefListValue::Create();
    inner->SetString(0, "in,ner");
    list->SetList(5, inner);

    CWireWriter writer;
    list->Write(&writer);
    CWireReader reader(writer.Bytes());
    CefRefPtr<CListValueImpl> back = CListValueImpl::Read(&reader, 0, false);
    ASSERT_TRUE(back);
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(back->ToText(), list->ToText());
    EXPECT_EQ(back->GetString(0).ToString(), "text");
    EXPECT_EQ(back->GetList(5)->GetString(0).ToString(), "in,ner");
    EXPECT_EQ(list->ToText(), "s:text,i:-7,d:0.5,b:1,n,l:s:in%252Cner");
}

TEST(ListValueTest, GrowsOnSetPastTheEndAndAnswersDefaultsForWrongTypes)
{
    CefRefPtr<CefListValue> list = CefListValue::Create();
    EXPECT_TRUE(list->SetString(2, "x"));
    EXPECT_EQ(list->GetSize(), 3u);
    EXPECT_EQ(list->GetType(0), VTYPE_NULL);
    EXPECT_EQ(list->GetType(9), VTYPE_INVALID);
    EXPECT_EQ(list->GetString(0).ToString(), "");
    EXPECT_EQ(list->GetInt(2), 0);
    EXPECT_FALSE(list->SetInt(-1, 1));
    EXPECT_FALSE(list->SetList(0, list));
}

TEST(ListValueTest, SentMessagesAreReadOnly)
{
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("JsExtHandler");
    message->GetArgumentList()->SetString(0, "windowClose");
    static_cast<cefcompat::CProcessMessageImpl*>(message.get())->SetReadOnly();
    EXPECT_TRUE(message->IsReadOnly());
    EXPECT_FALSE(message->GetArgumentList()->SetString(0, "changed"));
    EXPECT_EQ(message->GetArgumentList()->GetString(0).ToString(), "windowClose");
    EXPECT_FALSE(message->Copy()->IsReadOnly());
}

TEST(ListValueTest, NestingBeyondTheLimitIsRefused)
{
    CWireWriter writer;
    for (int i = 0; i <= cefcompat::kMaxWireDepth + 1; ++i) {
        writer.U32(1);
        writer.U8(VTYPE_LIST);
    }
    writer.U32(0);
    CWireReader reader(writer.Bytes());
    EXPECT_FALSE(CListValueImpl::Read(&reader, 0, false));
}

TEST(ScriptValueTest, ParsesTheRequestFormsAndRefusesOthers)
{
    CScriptValue value;
    ASSERT_TRUE(CScriptValue::Parse("s:a%20b", &value));
    EXPECT_EQ(value.stringValue, L"a b");
    ASSERT_TRUE(CScriptValue::Parse("i:-3", &value));
    EXPECT_EQ(value.intValue, -3);
    ASSERT_TRUE(CScriptValue::Parse("u:4000000000", &value));
    EXPECT_EQ(value.uintValue, 4000000000u);
    ASSERT_TRUE(CScriptValue::Parse("object", &value));
    EXPECT_EQ(value.kind, CScriptValue::Kind::kObject);
    EXPECT_FALSE(CScriptValue::Parse("u:-1", &value));
    EXPECT_FALSE(CScriptValue::Parse("i:x", &value));
    EXPECT_FALSE(CScriptValue::Parse("b:yes", &value));
    EXPECT_FALSE(CScriptValue::Parse("string", &value));
}

TEST(ScriptValueTest, SurvivesTheWireAndTheConversionToScriptValues)
{
    CScriptValue object;
    object.kind = CScriptValue::Kind::kObject;
    CScriptValue number;
    number.kind = CScriptValue::Kind::kDouble;
    number.doubleValue = 1.25;
    object.members.emplace_back(L"n", number);

    CWireWriter writer;
    object.Write(&writer);
    CWireReader reader(writer.Bytes());
    CScriptValue back;
    ASSERT_TRUE(CScriptValue::Read(&reader, 0, &back));
    CefRefPtr<CefV8Value> v8 = cefcompat::CV8ValueImpl::FromScript(back);
    EXPECT_TRUE(v8->IsObject());
    EXPECT_DOUBLE_EQ(v8->GetValue("n")->GetDoubleValue(), 1.25);
    EXPECT_EQ(cefcompat::CV8ValueImpl::ToText(v8), "object(1)");
    EXPECT_EQ(cefcompat::CV8ValueImpl::ToText(nullptr), "undefined");
}

TEST(ExtensionTest, FindsTheNativeFunctionsAScriptDeclares)
{
    const std::wstring script =
        L"var brelvo;if (!brelvo)\tbrelvo = {};(\tfunction()\t{\t\tbrelvo.Mevora.dispatchEvent = "
        L"function(evtStr)\t\t\t{\t\t\t\tnative function dispatchEvent();\t\t\t\treturn "
        L"dispatchEvent(evtStr);\t\t\t};\t\tnative function addinTrace ();\t})();;"
        L" // native functionX(); native function 9bad(); native function noParen";
    const std::vector<std::wstring> names = cefcompat::NativeFunctionNames(script);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], L"dispatchEvent");
    EXPECT_EQ(names[1], L"addinTrace");
}

} // namespace
