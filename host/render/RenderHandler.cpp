// The browser window's render handler: CEF paints the view and the popup widget off-screen,
// the frame composer keeps both, the add-in receives every composed frame whole, and the
// native window is invalidated where the frame changed, so that it shows the same picture
// when it is visible. Everything here runs on the UI thread.

#include "OffscreenBrowserWindow.h"

#include "DirtyRegion.h"

#include <cstdint>

bool COffscreenBrowserWindow::GetViewRect(CefRefPtr<CefBrowser> /*browser*/, CefRect& rect)
{
    CEF_REQUIRE_UI_THREAD();
    rect = CefRect(0, 0, m_viewWidth, m_viewHeight);
    return true;
}

void COffscreenBrowserWindow::OnPopupShow(CefRefPtr<CefBrowser> /*browser*/, bool show)
{
    CEF_REQUIRE_UI_THREAD();
    m_frames.SetPopupVisible(show);
    // A shown popup enters the frame with its first paint; a hidden one leaves it at once.
    if (show)
        return;
    if (m_hwnd)
        ::InvalidateRect(m_hwnd.Get(), &m_frames.PopupRect(), TRUE);
    PublishFrame();
}

void COffscreenBrowserWindow::OnPopupSize(CefRefPtr<CefBrowser> /*browser*/, const CefRect& rect)
{
    CEF_REQUIRE_UI_THREAD();
    m_frames.SetPopupRect(rect.x, rect.y, rect.width, rect.height);
}

void COffscreenBrowserWindow::OnPaint(CefRefPtr<CefBrowser> /*browser*/, PaintElementType type,
                                      const RectList& dirtyRects, const void* buffer, int width, int height)
{
    CEF_REQUIRE_UI_THREAD();
    const POINT offset = m_frames.Paint(type, buffer, width, height);
    PublishFrame();
    // A hidden window is painted whole when it is shown, so nothing of it needs marking now;
    // this saves the regions on the add-in's steady stream.
    if (::IsWindowVisible(m_hwnd.Get()))
        InvalidateDirtyRects(m_hwnd.Get(), dirtyRects, offset);
}

void COffscreenBrowserWindow::OnCursorChange(CefRefPtr<CefBrowser> /*browser*/, CefCursorHandle cursor,
                                             CursorType /*type*/, const CefCursorInfo& /*customCursorInfo*/)
{
    CEF_REQUIRE_UI_THREAD();
    // Shown from the next WM_SETCURSOR on, that is when the pointer next moves.
    m_cursor = cursor;
}

void COffscreenBrowserWindow::PublishFrame()
{
    CEF_REQUIRE_UI_THREAD();
    // Without the add-in nobody reads the composite, so it is not even made.
    if (!m_controlee)
        return;
    const CDibBitmap& frame = m_frames.Compose();
    // No picture of a 32-bit process reaches 4 GB; the channel drops any larger than its block.
    m_controlee->SendFrame(frame.Width(), frame.Height(), frame.Bits(), static_cast<uint32_t>(frame.ByteSize()));
}

void COffscreenBrowserWindow::PaintWindow(HDC dc) const
{
    CEF_REQUIRE_UI_THREAD();
    m_frames.PaintTo(dc);
}
