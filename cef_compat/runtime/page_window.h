// A real window made from a cef_window_info_t that shows a picture: the developer tools
// window, and the window of a browser that is not windowless. Its mouse and keys may go to a
// page. UI thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "engines/page_engine.h"
#include "include/internal/cef_types_win.h"
#include "Win32Owners.h"

namespace cefcompat {

class CPageWindow {
public:
    // |onClose|: the user asked to close the window (WM_CLOSE); the owner decides, and must
    // not destroy this object from inside the call. |onResize|: the client area changed.
    static std::unique_ptr<CPageWindow> Create(const cef_window_info_t& info, const wchar_t* defaultTitle,
                                               std::function<void()> onClose, std::function<void()> onResize);
    CPageWindow(const CPageWindow&) = delete;
    CPageWindow& operator=(const CPageWindow&) = delete;
    ~CPageWindow();

    // Null once the system has destroyed the window (for example with its owner).
    HWND Handle() const { return m_hwnd.Get(); }
    bool ClientSize(int* width, int* height) const;
    // Keeps a copy of the BGRA picture and repaints.
    void Show(const void* bgra, int width, int height);
    void BringToFront();
    // The window's mouse and keys go to |input| from now on (null: nowhere); the owner clears
    // it before |input| goes.
    void SetInput(IPageInput* input) { m_input = input; }

private:
    CPageWindow(std::function<void()> onClose, std::function<void()> onResize);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    // True when the message was the input's.
    bool OnMouse(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnKey(UINT message, WPARAM wParam, LPARAM lParam);

    NsWin32::CWindow m_hwnd;
    std::function<void()> m_onClose;
    std::function<void()> m_onResize;
    std::vector<unsigned char> m_pixels;
    int m_width = 0;
    int m_height = 0;
    IPageInput* m_input = nullptr;
    bool m_trackingLeave = false;
    int m_clickCount = 0; // of the button pressed last
};

} // namespace cefcompat
