// The API's value types: strings, structure wrappers, window descriptions, counted pointers.
#include <gtest/gtest.h>

#include "include/cef_base.h"
#include "include/cef_runnable.h"
#include "include/wrapper/cef_helpers.h"

namespace {

TEST(CefStringTest, ConvertsBetweenUtf8AndUtf16AndCompares)
{
    const CefString text("gr\xC3\xBC\xC3\x9F"
                         "e");
    EXPECT_EQ(text.ToWString(), L"gr\u00FC\u00DFe");
    EXPECT_EQ(text.ToString(), "gr\xC3\xBC\xC3\x9F"
                               "e");
    EXPECT_EQ(text.length(), 5u);
    EXPECT_TRUE(CefString() == CefString(L""));
    EXPECT_TRUE(CefString("a") < CefString("ab"));
    EXPECT_FALSE(CefString("b") == CefString("a"));
}

TEST(CefStringTest, WritesThroughToTheStructureItRefersTo)
{
    struct {
        cef_string_t path;
    } holder = {};
    CefString(&holder.path) = "C:\\cache";
    EXPECT_EQ(std::wstring(holder.path.str, holder.path.length), L"C:\\cache");
    CefString view(&holder.path);
    view = CefString(&holder.path); // assigning a string its own text keeps it
    EXPECT_EQ(std::wstring(holder.path.str, holder.path.length), L"C:\\cache");
    cef_string_clear(&holder.path);
    EXPECT_EQ(holder.path.str, nullptr);
}

TEST(CefSettingsTest, HasTheReleaseLayoutStartsZeroedAndCopiesItsStrings)
{
#ifndef _WIN64
    EXPECT_EQ(sizeof(cef_settings_t), 164u); // the 32-bit release's layout
#endif
    CefSettings settings;
    EXPECT_EQ(settings.size, sizeof(cef_settings_t));
    EXPECT_EQ(settings.single_process, 0);
    EXPECT_EQ(settings.multi_threaded_message_loop, 0);
    EXPECT_EQ(settings.log_severity, LOGSEVERITY_DEFAULT);
    CefString(&settings.log_file) = "a.log";

    CefSettings copy(settings);
    CefString(&settings.log_file) = "b.log";
    EXPECT_EQ(CefString(&copy.log_file).ToString(), "a.log");
    EXPECT_NE(copy.log_file.str, settings.log_file.str);
}

TEST(CefWindowInfoTest, TheThreeFormsSetTheirFields)
{
    CefWindowInfo info;
    RECT rect = {0, 0, 100, 100};
    info.SetAsChild(reinterpret_cast<HWND>(0x1234), rect);
    EXPECT_TRUE(info.style & WS_CHILD);
    EXPECT_EQ(info.width, 100);
    info.SetAsWindowless(reinterpret_cast<HWND>(0x1234), false);
    EXPECT_EQ(info.windowless_rendering_enabled, 1);
    EXPECT_EQ(info.transparent_painting_enabled, 0);
    EXPECT_EQ(info.parent_window, reinterpret_cast<HWND>(0x1234));

    CefWindowInfo popup;
    popup.SetAsPopup(nullptr, "Dev Tools");
    EXPECT_EQ(popup.style, static_cast<DWORD>(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE));
    EXPECT_EQ(popup.x, static_cast<int>(CW_USEDEFAULT));
    const CefWindowInfo copy(popup);
    EXPECT_EQ(CefString(&copy.window_name).ToString(), "Dev Tools");
}

class CCounted : public virtual CefBase {
public:
    explicit CCounted(bool* destroyed) : m_destroyed(destroyed) {}
    ~CCounted() override { *m_destroyed = true; }
    void Add(int n) { total += n; }
    int total = 0;

private:
    bool* m_destroyed;
    IMPLEMENT_REFCOUNTING(CCounted)
};

TEST(CefRefPtrTest, HoldsOneReferenceEachAndTheLastReleaseDestroys)
{
    bool destroyed = false;
    {
        CefRefPtr<CCounted> first = new CCounted(&destroyed);
        EXPECT_EQ(first->GetRefCt(), 1);
        CefRefPtr<CCounted> second = first;
        EXPECT_EQ(first->GetRefCt(), 2);
        second = first; // same object: the count stays
        EXPECT_EQ(first->GetRefCt(), 2);
        // As in CEF, a move copies: the source keeps its reference.
        CefRefPtr<CCounted> moved = std::move(second);
        EXPECT_EQ(first->GetRefCt(), 3);
        EXPECT_TRUE(second);
        CefRefPtr<CCounted> taken;
        taken.swap(moved);
        EXPECT_EQ(first->GetRefCt(), 3);
        EXPECT_FALSE(moved);
    }
    EXPECT_TRUE(destroyed);
}

// No UI thread exists in this process, so the check fails: the process ends, naming the place.
TEST(ThreadCheckDeathTest, ACallOffItsThreadStopsTheProcessWithFileAndLine)
{
    EXPECT_DEATH(CEF_REQUIRE_UI_THREAD(), "api_types_test\\.cpp\\(\\d+\\): Check failed: CefCurrentlyOn\\(TID_UI\\)");
}

TEST(CefRunnableTest, MethodTasksKeepTheirObjectAliveAndPassCopiedArguments)
{
    bool destroyed = false;
    CefRefPtr<CefTask> task;
    CCounted* object = new CCounted(&destroyed);
    {
        CefRefPtr<CCounted> owner(object);
        task = NewCefRunnableMethod(object, &CCounted::Add, 5);
    }
    EXPECT_FALSE(destroyed);
    task->Execute();
    EXPECT_EQ(object->total, 5);
    task = nullptr;
    EXPECT_TRUE(destroyed);
}

} // namespace
