// CFrameComposer: what the add-in receives (view and popup composed) and what the window
// shows, for the orders in which CEF paints, sizes, shows and hides.

#include "FrameComposer.h"
#include "RenderTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>

namespace {

class FrameComposerTest : public ::testing::Test {
protected:
    void PaintView(int width, int height, uint32_t rgb)
    {
        const auto picture = SolidPicture(width, height, rgb);
        m_composer.Paint(PET_VIEW, picture.data(), width, height);
    }

    POINT PaintPopup(int width, int height, uint32_t rgb)
    {
        const auto picture = SolidPicture(width, height, rgb);
        return m_composer.Paint(PET_POPUP, picture.data(), width, height);
    }

    void ShowPopup(int x, int y, int width, int height, uint32_t rgb)
    {
        m_composer.SetPopupVisible(true);
        m_composer.SetPopupRect(x, y, width, height);
        PaintPopup(width, height, rgb);
    }

    CFrameComposer m_composer;
};

TEST_F(FrameComposerTest, AViewFrameIsPublishedWholeAndReusedWhileItsSizeStays)
{
    PaintView(40, 30, kRed);
    const CDibBitmap& first = m_composer.Compose();
    ASSERT_EQ(first.Width(), 40);
    ASSERT_EQ(first.Height(), 30);
    EXPECT_EQ(first.ByteSize(), 40u * 30 * 4);
    EXPECT_EQ(PixelAt(first, 39, 29), kRed);
    const HDC dc = m_composer.ViewBitmap().Dc();

    PaintView(40, 30, kGreen);
    EXPECT_EQ(m_composer.ViewBitmap().Dc(), dc) << "same size, same bitmap";
    EXPECT_EQ(PixelAt(m_composer.Compose(), 0, 0), kGreen);

    PaintView(20, 50, kBlue);
    const CDibBitmap& resized = m_composer.Compose();
    EXPECT_EQ(resized.Width(), 20);
    EXPECT_EQ(resized.Height(), 50);
    EXPECT_EQ(PixelAt(resized, 19, 49), kBlue);
}

TEST_F(FrameComposerTest, PaintsReportWhereTheirDirtyRectanglesBelong)
{
    m_composer.SetPopupRect(12, 7, 5, 5);
    const auto picture = SolidPicture(5, 5, kRed);
    EXPECT_EQ(m_composer.Paint(PET_VIEW, picture.data(), 5, 5).x, 0);
    const POINT popup = m_composer.Paint(PET_POPUP, picture.data(), 5, 5);
    EXPECT_EQ(popup.x, 12);
    EXPECT_EQ(popup.y, 7);

    const POINT other = m_composer.Paint(static_cast<cef_paint_element_type_t>(7), picture.data(), 9, 9);
    EXPECT_EQ(other.x, 0);
    EXPECT_EQ(other.y, 0);
    EXPECT_EQ(m_composer.ViewBitmap().Width(), 5) << "an unknown element changes nothing";
}

TEST_F(FrameComposerTest, AVisiblePopupLiesOnTopOfTheViewWithoutChangingIt)
{
    PaintView(40, 30, kWhite);
    ShowPopup(10, 5, 8, 6, kRed);

    const CDibBitmap& frame = m_composer.Compose();
    ASSERT_EQ(frame.Width(), 40);
    EXPECT_EQ(PixelAt(frame, 10, 5), kRed);
    EXPECT_EQ(PixelAt(frame, 17, 10), kRed);
    EXPECT_EQ(PixelAt(frame, 9, 5), kWhite);
    EXPECT_EQ(PixelAt(frame, 18, 5), kWhite);
    EXPECT_EQ(PixelAt(frame, 10, 11), kWhite);
    EXPECT_EQ(PixelAt(m_composer.ViewBitmap(), 10, 5), kWhite);

    // The popup's own size counts, not its rectangle's.
    PaintPopup(3, 2, kGreen);
    const CDibBitmap& smaller = m_composer.Compose();
    EXPECT_EQ(PixelAt(smaller, 12, 6), kGreen);
    EXPECT_EQ(PixelAt(smaller, 13, 6), kWhite);

    // A later view frame is composed with the popup still on top.
    PaintView(40, 30, kBlue);
    const CDibBitmap& again = m_composer.Compose();
    EXPECT_EQ(PixelAt(again, 12, 6), kGreen);
    EXPECT_EQ(PixelAt(again, 30, 20), kBlue);
}

TEST_F(FrameComposerTest, APopupPartlyOutsideTheViewIsCutAtItsEdges)
{
    PaintView(20, 10, kWhite);
    ShowPopup(-3, -2, 6, 5, kRed);
    const CDibBitmap& topLeft = m_composer.Compose();
    EXPECT_EQ(PixelAt(topLeft, 0, 0), kRed);
    EXPECT_EQ(PixelAt(topLeft, 2, 2), kRed);
    EXPECT_EQ(PixelAt(topLeft, 3, 0), kWhite);
    EXPECT_EQ(PixelAt(topLeft, 0, 3), kWhite);

    ShowPopup(17, 8, 10, 10, kGreen);
    const CDibBitmap& bottomRight = m_composer.Compose();
    EXPECT_EQ(bottomRight.Width(), 20);
    EXPECT_EQ(bottomRight.Height(), 10);
    EXPECT_EQ(PixelAt(bottomRight, 19, 9), kGreen);
    EXPECT_EQ(PixelAt(bottomRight, 16, 9), kWhite);
    EXPECT_EQ(PixelAt(bottomRight, 19, 7), kWhite);

    // Entirely outside, or at the far end of the int range: nothing of it shows.
    for (const POINT place :
         {POINT{20, 0}, POINT{0, 10}, POINT{-6, 0}, POINT{INT_MAX - 2, INT_MAX - 2}, POINT{INT_MIN, INT_MIN}}) {
        ShowPopup(place.x, place.y, 6, 5, kBlue);
        const CDibBitmap& frame = m_composer.Compose();
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(PixelAt(frame, x, y), kWhite) << place.x << "," << place.y;
    }
}

TEST_F(FrameComposerTest, APopupBeforeAnyViewFrameGivesAnEmptyFrame)
{
    ShowPopup(0, 0, 10, 10, kRed);
    const CDibBitmap& frame = m_composer.Compose();
    EXPECT_EQ(frame.Width(), 0);
    EXPECT_EQ(frame.Height(), 0);
    EXPECT_EQ(frame.ByteSize(), 0u);
}

TEST_F(FrameComposerTest, AHiddenPopupLeavesTheFrameButKeepsItsPlaceAndPicture)
{
    PaintView(30, 20, kWhite);
    ShowPopup(4, 4, 5, 5, kRed);
    m_composer.SetPopupVisible(false);
    EXPECT_FALSE(m_composer.PopupVisible());
    EXPECT_EQ(PixelAt(m_composer.Compose(), 5, 5), kWhite);
    EXPECT_EQ(m_composer.PopupRect().left, 4);
    EXPECT_EQ(m_composer.PopupRect().bottom, 9);

    m_composer.SetPopupVisible(true);
    EXPECT_EQ(PixelAt(m_composer.Compose(), 5, 5), kRed);
}

TEST_F(FrameComposerTest, ViewContainsOnlyPointsOfTheLastViewFrame)
{
    EXPECT_FALSE(m_composer.ViewContains(0, 0)) << "before the first view frame";
    PaintView(800, 600, kWhite);
    EXPECT_TRUE(m_composer.ViewContains(0, 0));
    EXPECT_TRUE(m_composer.ViewContains(799, 599));
    EXPECT_FALSE(m_composer.ViewContains(800, 10));
    EXPECT_FALSE(m_composer.ViewContains(10, 600));
    EXPECT_FALSE(m_composer.ViewContains(-1, 10));
    EXPECT_FALSE(m_composer.ViewContains(10, INT_MIN));

    // A popup frame never moves the bounds.
    ShowPopup(790, 590, 50, 50, kRed);
    EXPECT_FALSE(m_composer.ViewContains(800, 595));

    PaintView(100, 50, kWhite);
    EXPECT_FALSE(m_composer.ViewContains(799, 599));
    EXPECT_TRUE(m_composer.ViewContains(99, 49));
}

TEST_F(FrameComposerTest, ViewBoundsReadOnAnotherThreadComeFromOneFrame)
{
    // Frames alternate between 300 x 10 and 10 x 300; a point at (200, 200) lies on
    // neither, so only a width from one frame paired with a height from the other finds it.
    const auto wide = SolidPicture(300, 10, kWhite);
    const auto tall = SolidPicture(10, 300, kWhite);
    m_composer.Paint(PET_VIEW, wide.data(), 300, 10);
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    std::thread reader([&] {
        while (!done.load())
            mixed += m_composer.ViewContains(200, 200) ? 1 : 0;
    });
    for (int i = 0; i < 400; ++i) {
        m_composer.Paint(PET_VIEW, tall.data(), 10, 300);
        m_composer.Paint(PET_VIEW, wide.data(), 300, 10);
    }
    done = true;
    reader.join();
    EXPECT_EQ(mixed.load(), 0);
}

TEST_F(FrameComposerTest, AViewThatCannotBeHeldPublishesAnEmptyFrameAndTakesNoInput)
{
    PaintView(10, 10, kRed);
    const auto small = SolidPicture(1, 1, kRed);
    m_composer.Paint(PET_VIEW, small.data(), 60000, 60000);
    EXPECT_EQ(m_composer.Compose().ByteSize(), 0u);
    EXPECT_FALSE(m_composer.ViewContains(5, 5));

    ShowPopup(0, 0, 4, 4, kGreen);
    EXPECT_EQ(m_composer.Compose().ByteSize(), 0u);
}

TEST_F(FrameComposerTest, PaintToDrawsTheComposedPictureIntoADeviceContext)
{
    CDibBitmap target(50, 40, 32);
    m_composer.PaintTo(target.Dc());
    EXPECT_EQ(PixelAt(target, 0, 0), kWhite) << "nothing before the first view frame";

    PaintView(30, 20, kBlue);
    ShowPopup(25, 15, 10, 10, kRed);
    m_composer.PaintTo(target.Dc());
    EXPECT_EQ(PixelAt(target, 0, 0), kBlue);
    EXPECT_EQ(PixelAt(target, 24, 15), kBlue);
    EXPECT_EQ(PixelAt(target, 25, 15), kRed);
    EXPECT_EQ(PixelAt(target, 29, 19), kRed);
    // Cut at the view's edge as in the published frame, though the target is larger.
    EXPECT_EQ(PixelAt(target, 30, 15), kWhite);
    EXPECT_EQ(PixelAt(target, 34, 24), kWhite);
    EXPECT_EQ(PixelAt(target, 25, 20), kWhite);

    ShowPopup(-5, -5, 10, 10, kGreen);
    m_composer.PaintTo(target.Dc());
    EXPECT_EQ(PixelAt(target, 0, 0), kGreen);
    EXPECT_EQ(PixelAt(target, 4, 4), kGreen);
    EXPECT_EQ(PixelAt(target, 5, 5), kBlue);

    CDibBitmap hidden(50, 40, 32);
    m_composer.SetPopupVisible(false);
    m_composer.PaintTo(hidden.Dc());
    EXPECT_EQ(PixelAt(hidden, 25, 15), kBlue);
}

} // namespace
