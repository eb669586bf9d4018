// Windowless rendering: view geometry, painted frames, popup widgets and cursors.
#pragma once

#include <vector>

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_drag_data.h"

// Called on the UI thread.
class CefRenderHandler : public virtual CefBase {
public:
    typedef cef_cursor_type_t CursorType;
    typedef cef_drag_operations_mask_t DragOperation;
    typedef cef_drag_operations_mask_t DragOperationsMask;
    typedef cef_paint_element_type_t PaintElementType;
    typedef std::vector<CefRect> RectList;

    virtual bool GetRootScreenRect(CefRefPtr<CefBrowser> browser, CefRect& rect) { return false; }
    // The view's rectangle in screen coordinates; its size is the size of the painted frames.
    virtual bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) = 0;
    virtual bool GetScreenPoint(CefRefPtr<CefBrowser> browser, int viewX, int viewY, int& screenX, int& screenY)
    {
        return false;
    }
    virtual bool GetScreenInfo(CefRefPtr<CefBrowser> browser, CefScreenInfo& screen_info) { return false; }
    virtual void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) {}
    virtual void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) {}
    // |buffer| holds width * height * 4 bytes, BGRA, rows top-down; valid during the call only.
    virtual void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirtyRects,
                         const void* buffer, int width, int height) = 0;
    virtual void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, CursorType type,
                                const CefCursorInfo& custom_cursor_info)
    {
    }
    virtual bool StartDragging(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> drag_data,
                               DragOperationsMask allowed_ops, int x, int y)
    {
        return false;
    }
    virtual void UpdateDragCursor(CefRefPtr<CefBrowser> browser, DragOperation operation) {}
    virtual void OnScrollOffsetChanged(CefRefPtr<CefBrowser> browser) {}
};
