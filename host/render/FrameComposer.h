#pragma once

// The pictures behind the windowless view: the last view frame, the last frame of the popup
// widget (a select element's list and the like) and their composite, which is what the
// add-in receives. The window's render handler feeds it; the window procedure paints from it.
// Everything here runs on the UI thread, except ViewContains.

#include "DibBitmap.h"

#include "include/internal/cef_types.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

class CFrameComposer {
public:
    CFrameComposer();

    CFrameComposer(const CFrameComposer&) = delete;
    CFrameComposer& operator=(const CFrameComposer&) = delete;

    // A frame painted by CEF: the view or popup bitmap takes its size and pixels; another
    // type changes nothing. Returns where the painted element sits in the view, which is
    // where its dirty rectangles belong.
    POINT Paint(cef_paint_element_type_t type, const void* buffer, int width, int height);

    // The popup widget's place in the view; its bitmap takes the new size.
    void SetPopupRect(int x, int y, int width, int height);
    // The popup's bitmap and place stay while it is hidden.
    void SetPopupVisible(bool visible);

    // The picture to publish: the view with the visible popup on top, cut off at the view's
    // edges. Valid until the next call of any non-const member.
    const CDibBitmap& Compose();

    // Draws the same picture into dc at (0, 0); nothing before the first view frame.
    void PaintTo(HDC dc) const;

    // Whether (x, y) lies on the last view frame. Safe from any thread: the add-in's mouse
    // commands are checked on the channel's reader thread.
    bool ViewContains(int x, int y) const;

    const CDibBitmap& ViewBitmap() const { return m_viewBitmap; }
    const RECT& PopupRect() const { return m_popupRect; }
    bool PopupVisible() const { return m_popupVisible; }

private:
    bool PopupShown() const { return m_popupVisible && !m_popupBitmap.IsEmpty(); }

    CDibBitmap m_viewBitmap;
    CDibBitmap m_popupBitmap;
    // Used only while a popup is shown; otherwise the view itself is the picture.
    CDibBitmap m_frameBitmap;
    RECT m_popupRect{};
    bool m_popupVisible = false;
    // Width in the high half, height in the low half, so a reader sees both from one frame.
    std::atomic<uint64_t> m_viewSize{0};
};
