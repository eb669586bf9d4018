// The browser window's render handler called in this process, with its channel open to our
// own add-in end: which paints reach the add-in, when, and with what picture; and the cursor
// the window shows.

#include "ByteOrder.h"
#include "ChannelControl.h"
#include "HostTestSupport.h"
#include "OffscreenBrowserWindow.h"
#include "RenderTestSupport.h"
#include "SharedBlock.h"
#include "UiThread.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace NsHostTest;

namespace {

using Edges = std::array<LONG, 4>;

// The window's update rectangle as left, top, right, bottom; all 0 when nothing is marked.
Edges UpdateEdges(HWND hwnd)
{
    RECT update = {};
    ::GetUpdateRect(hwnd, &update, FALSE);
    return Edges{update.left, update.top, update.right, update.bottom};
}

// Marks the frame in the channel's block invalid, so that the next read tells whether a paint
// was published at all: the channel counts no frames, and an add-in only reads the block, so
// this one write is made by hand.
void ForgetFrame(int32_t index)
{
    const std::wstring name = CChannelControl::ObjectName(ChannelObject::Memory, SelfPid(), index);
    const NsWin32::CKernelHandle mapping(::OpenFileMappingW(FILE_MAP_WRITE, FALSE, name.c_str()));
    const NsWin32::CMappedView view(
        mapping ? ::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, NsChannel::kFrameHeaderOffset + 4) : nullptr);
    ASSERT_TRUE(view);
    NsChannel::WriteInt32(view.Bytes() + NsChannel::kFrameHeaderOffset, -1);
}

class RenderHandlerTest : public ::testing::Test {
protected:
    // The test's thread plays CEF's UI thread, on which every render handler runs.
    const CUiThreadScope m_ui;

    void SetUp() override
    {
        m_addin = std::make_unique<CAddinEnd>(SelfPid(), m_index);
        m_window = new COffscreenBrowserWindow(SelfPid(), m_index, CefString(), ::GetModuleHandleW(nullptr));
        m_window->CreateHostWindow();
        ASSERT_TRUE(m_addin->WaitForHost());
        ForgetFrame(m_index);
    }

    void TearDown() override
    {
        m_window = nullptr;
        // Each test's window registers the class anew.
        ::UnregisterClassW(kHostWindowClass, ::GetModuleHandleW(nullptr));
    }

    void Paint(cef_paint_element_type_t type, int width, int height, uint32_t rgb)
    {
        const std::vector<uint8_t> picture = SolidPicture(width, height, rgb);
        const CefRenderHandler::RectList dirty = {CefRect(0, 0, width, height)};
        m_window->OnPaint(nullptr, type, dirty, picture.data(), width, height);
    }

    void ShowPopup(int x, int y, int width, int height)
    {
        m_window->OnPopupSize(nullptr, CefRect(x, y, width, height));
        m_window->OnPopupShow(nullptr, true);
    }

    static HWND HostWindow()
    {
        const HWND hwnd = NsHostTest::FindHostWindow(::GetCurrentProcessId());
        EXPECT_NE(hwnd, nullptr);
        return hwnd;
    }

    // The frame published since the last call, or nothing.
    std::optional<CFrame> Published()
    {
        std::optional<CFrame> frame = m_addin->CurrentFrame();
        ForgetFrame(m_index);
        return frame;
    }

    const int32_t m_index = NextIndex();
    std::unique_ptr<CAddinEnd> m_addin;
    CefRefPtr<COffscreenBrowserWindow> m_window;
};

} // namespace

TEST_F(RenderHandlerTest, TheViewIs1024By768UntilTheAddinResizesIt)
{
    CefRect rect(5, 5, 5, 5);
    EXPECT_TRUE(m_window->GetViewRect(nullptr, rect));
    EXPECT_EQ(rect.x, 0);
    EXPECT_EQ(rect.y, 0);
    EXPECT_EQ(rect.width, 1024);
    EXPECT_EQ(rect.height, 768);
}

TEST_F(RenderHandlerTest, EveryViewPaintIsPublishedWhole)
{
    Paint(PET_VIEW, 40, 30, kRed);
    std::optional<CFrame> frame = Published();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->width, 40);
    EXPECT_EQ(frame->height, 30);
    EXPECT_EQ(frame->PixelAt(39, 29), kRed);

    // Also a paint with nothing dirty.
    const std::vector<uint8_t> green = SolidPicture(40, 30, kGreen);
    m_window->OnPaint(nullptr, PET_VIEW, {}, green.data(), 40, 30);
    frame = Published();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->PixelAt(0, 0), kGreen);
}

TEST_F(RenderHandlerTest, APopupEntersWithItsFirstPaintAndLeavesAtOnceWhenHidden)
{
    Paint(PET_VIEW, 40, 30, kWhite);
    ASSERT_TRUE(Published());

    ShowPopup(30, 20, 20, 20);
    EXPECT_FALSE(Published()) << "sizing and showing alone publish nothing";

    Paint(PET_POPUP, 20, 20, kBlue);
    std::optional<CFrame> frame = Published();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->width, 40) << "the popup is cut at the view's edges";
    EXPECT_EQ(frame->PixelAt(29, 19), kWhite);
    EXPECT_EQ(frame->PixelAt(30, 20), kBlue);
    EXPECT_EQ(frame->PixelAt(39, 29), kBlue);

    m_window->OnPopupShow(nullptr, false);
    frame = Published();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->PixelAt(39, 29), kWhite);
}

TEST_F(RenderHandlerTest, APopupPaintBeforeAnyViewPublishesAnEmptyFrame)
{
    ShowPopup(0, 0, 10, 10);
    Paint(PET_POPUP, 10, 10, kBlue);
    EXPECT_TRUE(m_addin->WaitForFrame(0, 0));
}

TEST_F(RenderHandlerTest, AViewLargerThanTheSharedBlockIsNotPublished)
{
    Paint(PET_VIEW, 1920, 1080, kRed);
    EXPECT_TRUE(Published());
    Paint(PET_VIEW, 1921, 1080, kGreen);
    EXPECT_FALSE(Published());
    Paint(PET_VIEW, 1920, 1081, kGreen);
    EXPECT_FALSE(Published());
}

// Where the frame changed, at the painted element's place; a hidden window is painted whole
// when it is shown, so nothing of it is marked.
TEST_F(RenderHandlerTest, AVisibleWindowIsMarkedWhereThePaintedElementChanged)
{
    const HWND hwnd = HostWindow();
    const std::vector<uint8_t> view = SolidPicture(100, 80, kWhite);
    const std::vector<uint8_t> popup = SolidPicture(20, 10, kBlue);
    const auto paint = [&](cef_paint_element_type_t type, const std::vector<uint8_t>& picture, int width, int height,
                           const CefRect& dirty) {
        ::ValidateRect(hwnd, nullptr);
        m_window->OnPaint(nullptr, type, {dirty}, picture.data(), width, height);
        return UpdateEdges(hwnd);
    };

    EXPECT_EQ(paint(PET_VIEW, view, 100, 80, CefRect(5, 6, 10, 10)), (Edges{0, 0, 0, 0})) << "hidden";
    ::ShowWindow(hwnd, SW_SHOWNA);
    EXPECT_EQ(paint(PET_VIEW, view, 100, 80, CefRect(5, 6, 10, 10)), (Edges{5, 6, 15, 16}));
    ShowPopup(40, 30, 20, 10);
    EXPECT_EQ(paint(PET_POPUP, popup, 20, 10, CefRect(0, 0, 20, 5)), (Edges{40, 30, 60, 35}));

    ::ValidateRect(hwnd, nullptr);
    m_window->OnPopupShow(nullptr, false);
    EXPECT_EQ(UpdateEdges(hwnd), (Edges{40, 30, 60, 40})) << "the hidden popup's place";
}

TEST_F(RenderHandlerTest, TheWindowShowsTheClassCursorUntilCefReportsOne)
{
    const HWND hwnd = HostWindow();
    const auto setCursor = [hwnd] {
        ::SetCursor(nullptr);
        ::SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return ::GetCursor();
    };
    EXPECT_EQ(setCursor(), ::LoadCursorW(nullptr, IDC_ARROW));

    const HCURSOR beam = ::LoadCursorW(nullptr, IDC_IBEAM);
    m_window->OnCursorChange(nullptr, beam, CT_IBEAM, CefCursorInfo());
    EXPECT_EQ(setCursor(), beam);
}
