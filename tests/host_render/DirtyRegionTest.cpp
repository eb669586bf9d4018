// Dirty regions: the union of CEF's rectangles, moved to the painted element's place, and
// what the window gets invalidated.

#include "DirtyRegion.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

// CEF lists dirty rectangles as x, y, width, height.
struct DirtyRect {
    int x;
    int y;
    int width;
    int height;
};

bool Contains(HRGN region, int x, int y)
{
    return ::PtInRegion(region, x, y) != FALSE;
}

TEST(DirtyRegion, RectFromExtentStopsAtTheIntRange)
{
    const RECT plain = RectFromExtent(3, 4, 10, 20);
    EXPECT_EQ(plain.left, 3);
    EXPECT_EQ(plain.top, 4);
    EXPECT_EQ(plain.right, 13);
    EXPECT_EQ(plain.bottom, 24);
    const RECT extreme = RectFromExtent(INT_MAX - 1, INT_MIN + 1, 10, -10);
    EXPECT_EQ(extreme.right, INT_MAX);
    EXPECT_EQ(extreme.bottom, INT_MIN);
}

TEST(DirtyRegion, IsTheUnionOfItsRectangles)
{
    CDirtyRegion region;
    RECT box{};
    EXPECT_EQ(::GetRgnBox(region.Get(), &box), NULLREGION);

    region.Add(RectFromExtent(0, 0, 10, 10));
    region.Add(RectFromExtent(20, 5, 5, 5));
    EXPECT_TRUE(Contains(region.Get(), 9, 9));
    EXPECT_TRUE(Contains(region.Get(), 24, 9));
    EXPECT_FALSE(Contains(region.Get(), 15, 5));
    EXPECT_FALSE(Contains(region.Get(), 10, 0));
    EXPECT_EQ(::GetRgnBox(region.Get(), &box), COMPLEXREGION);
    EXPECT_EQ(box.right, 25);
}

// Only a visible window collects an update region. Showing one takes a while, so the tests
// share it.
class DirtyWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"DirtyRegionTestWindow";
        ::RegisterClassW(&windowClass);
        s_window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                     nullptr, windowClass.hInstance, nullptr);
    }

    static void TearDownTestSuite() { ::DestroyWindow(s_window); }

    void SetUp() override
    {
        ASSERT_NE(s_window, nullptr);
        ::ValidateRect(s_window, nullptr);
    }

    static RECT UpdateRect()
    {
        RECT rect{};
        ::GetUpdateRect(s_window, &rect, FALSE);
        return rect;
    }

    static HWND s_window;
};

HWND DirtyWindowTest::s_window = nullptr;

TEST_F(DirtyWindowTest, APaintInvalidatesItsRectanglesAtTheElementsPlace)
{
    const std::vector<DirtyRect> rects{{0, 0, 4, 4}, {6, 2, 4, 3}};
    InvalidateDirtyRects(s_window, rects, POINT{30, 20});
    const RECT update = UpdateRect();
    EXPECT_EQ(update.left, 30);
    EXPECT_EQ(update.top, 20);
    EXPECT_EQ(update.right, 40);
    EXPECT_EQ(update.bottom, 25);
}

TEST_F(DirtyWindowTest, NoRectanglesInvalidateNothing)
{
    InvalidateDirtyRects(s_window, std::vector<DirtyRect>{}, POINT{0, 0});
    EXPECT_FALSE(::GetUpdateRect(s_window, nullptr, FALSE));

    // Without a window nothing is invalidated, not every window on the desktop.
    InvalidateDirtyRects(nullptr, std::vector<DirtyRect>{{0, 0, 50, 50}}, POINT{0, 0});
    EXPECT_FALSE(::GetUpdateRect(s_window, nullptr, FALSE));
}

} // namespace
