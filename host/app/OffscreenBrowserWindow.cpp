#include "OffscreenBrowserWindow.h"

#include "HostEntry.h"
#include "HostWindowProc.h"
#include "resources/resource_ids.h"

#include "ChannelControl.h"
#include "InputModifiers.h"

#include "include/cef_app.h"
#include "include/cef_runnable.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

namespace {

const wchar_t kWindowClassName[] = L"MevoraAddinWebHost";
const wchar_t kInitialCaption[] = L"Mevora Web host";

const wchar_t kSettingsKey[] = L"Software\\Brelvo\\MevoraAddin";
const wchar_t kHotKeySetting[] = L"CefHostHotKey";
// Ctrl+Alt and the first free key of F5 to F11.
constexpr int kFirstHotKeyNumber = 5;
constexpr int kLastHotKeyNumber = 11;

constexpr int kInitialViewWidth = 1024;
constexpr int kInitialViewHeight = 768;
// The browser paints off-screen; this child rectangle only seeds the window description.
constexpr RECT kBrowserChildRect = {0, 0, 100, 100};
constexpr cef_color_t kWhiteTransparentBackground = 0x00FFFFFF;

const wchar_t kBrowserCreatedEvent[] = L"browserCreated:";

// Every click goes out as a single one, also each half of a double click.
constexpr int kClickCount = 1;

CefMouseEvent MouseEventAt(int x, int y, int modifiers)
{
    CefMouseEvent event;
    event.x = x;
    event.y = y;
    event.modifiers = static_cast<uint32>(modifiers);
    return event;
}

// The add-in's sizes are not limited: a sum past the int range stops at its end.
int SaturatedSum(int a, int b)
{
    return static_cast<int>(std::clamp<int64_t>(int64_t{a} + b, INT_MIN, INT_MAX));
}

HANDLE CreateUnnamedEvent()
{
    return ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

} // namespace

COffscreenBrowserWindow::COffscreenBrowserWindow(int parentPid, int instanceIndex, CefString startUrl,
                                                 HINSTANCE hInstance)
    : m_hInstance(hInstance),
      m_viewWidth(kInitialViewWidth),
      m_viewHeight(kInitialViewHeight),
      m_startUrl(std::move(startUrl)),
      m_parentPid(parentPid),
      m_instanceIndex(instanceIndex),
      m_dialogMutex(::CreateMutexW(nullptr, FALSE, nullptr)),
      m_jsDialogEvent(CreateUnnamedEvent()),
      m_fileDialogEvent(CreateUnnamedEvent()),
      m_watchStop(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (CChannelControl::IsValidKey(m_parentPid, m_instanceIndex))
        m_controlee = std::make_unique<CBrowserControlee>(m_parentPid, m_instanceIndex, this);
}

COffscreenBrowserWindow::~COffscreenBrowserWindow()
{
    // The reader thread runs our consumer operations: it must be gone before anything else.
    m_controlee.reset();
    StopParentWatch();
    DestroyHostWindow();
}

void COffscreenBrowserWindow::CreateHostWindow()
{
    CEF_REQUIRE_UI_THREAD();
    if (!RegisterHostWindowClass() ||
        !::CreateWindowExW(0, kWindowClassName, kInitialCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT,
                           0, nullptr, nullptr, m_hInstance, this)) {
        // Without a window there will be no browser, so nothing would ever end the loop:
        // end it now (exit code 1) rather than leave a process behind that does nothing. A
        // window attached during a failed creation has already been destroyed by the system.
        static_cast<void>(m_hwnd.Release());
        CefPostTask(TID_UI, NewCefRunnableFunction(&CefQuitMessageLoop));
        return;
    }
    // The window procedure has attached the window to m_hwnd during WM_CREATE.
    ::ShowWindow(m_hwnd.Get(), m_controlee ? SW_HIDE : SW_SHOW);
    StartBrowser();
    if (m_controlee) {
        m_controlee->Start();
        StartParentWatch();
    }
}

bool COffscreenBrowserWindow::RegisterHostWindowClass() const
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = m_hInstance;
    windowClass.hIcon = ::LoadIconW(m_hInstance, MAKEINTRESOURCEW(IDI_PAGEHULL));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClassName;
    windowClass.hIconSm = ::LoadIconW(m_hInstance, MAKEINTRESOURCEW(IDI_SMALL));
    return ::RegisterClassExW(&windowClass) != 0;
}

void COffscreenBrowserWindow::StartBrowser()
{
    CEF_REQUIRE_UI_THREAD();
    m_windowInfo.SetAsChild(m_hwnd.Get(), kBrowserChildRect);
    // The host window only gives CEF its screen information.
    m_windowInfo.SetAsWindowless(m_hwnd.Get(), false);

    m_browserSettings.webgl = STATE_DISABLED;
    m_browserSettings.background_color = kWhiteTransparentBackground;

    // Asynchronous: OnAfterCreated delivers the browser, or nothing does.
    CefBrowserHost::CreateBrowser(m_windowInfo, this, m_startUrl, m_browserSettings, nullptr);
}

void COffscreenBrowserWindow::SetViewSize(int width, int height)
{
    CEF_REQUIRE_UI_THREAD();
    m_viewWidth = width;
    m_viewHeight = height;
    if (m_browser)
        m_browser->GetHost()->WasResized();
}

DWORD COffscreenBrowserWindow::ReadRegistryDword(const wchar_t* subKey, const wchar_t* valueName, DWORD defaultValue)
{
    NsWin32::CRegistryKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return defaultValue;

    DWORD value = 0;
    DWORD size = sizeof(value);
    // RRF_RT_DWORD also takes a REG_BINARY; only one of exactly four bytes is a number.
    if (::RegGetValueW(key.Get(), nullptr, valueName, RRF_RT_DWORD, nullptr, &value, &size) != ERROR_SUCCESS ||
        size != sizeof(value))
        return defaultValue;
    return value;
}

void COffscreenBrowserWindow::OnWindowCreated(HWND hwnd)
{
    m_hwnd.Reset(hwnd);
    RegisterVisibilityHotKey();
}

void COffscreenBrowserWindow::RegisterVisibilityHotKey()
{
    if (ReadRegistryDword(kSettingsKey, kHotKeySetting, 0) == 0)
        return;
    for (int number = kFirstHotKeyNumber; number <= kLastHotKeyNumber; ++number) {
        const UINT key = VK_F1 + number - 1;
        if (::RegisterHotKey(m_hwnd.Get(), kVisibilityHotKeyId, MOD_CONTROL | MOD_ALT, key)) {
            m_hotKeyNumber = number;
            return;
        }
    }
}

void COffscreenBrowserWindow::ToggleVisibility()
{
    ::ShowWindow(m_hwnd.Get(), ::IsWindowVisible(m_hwnd.Get()) ? SW_HIDE : SW_SHOW);
}

void COffscreenBrowserWindow::UpdateWindowTitle()
{
    CEF_REQUIRE_UI_THREAD();
    std::wstring caption;
    if (m_hotKeyNumber > 0)
        caption = L"Ctrl+Alt+F" + std::to_wstring(m_hotKeyNumber) + L" :: ";
    caption += m_title + L" " + m_address;
    ::SetWindowTextW(m_hwnd.Get(), caption.c_str());
}

void COffscreenBrowserWindow::CloseHost()
{
    if (!CefCurrentlyOn(TID_UI)) {
        CefPostTask(TID_UI, NewCefRunnableMethod(this, &COffscreenBrowserWindow::CloseHost));
        return;
    }
    // The window, the add-in's close command and the watch may all ask; one close is enough.
    if (m_closing)
        return;
    m_closing = true;

    if (m_browser) {
        m_browser->GetHost()->CloseBrowser(true);
    } else {
        StopCommands();
        CefQuitMessageLoop();
    }
    StopParentWatch();
}

void COffscreenBrowserWindow::StartParentWatch()
{
    m_watchThread.Start(ParentWatchThread, this);
}

DWORD WINAPI COffscreenBrowserWindow::ParentWatchThread(void* window)
{
    auto* self = static_cast<COffscreenBrowserWindow*>(window);
    const NsWin32::CKernelHandle parent(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, self->m_parentPid));
    // An add-in we cannot open (gone already, or no rights) counts as ended.
    if (self->WaitForParentEnd(parent.Get()))
        self->Close();
    return 0;
}

bool COffscreenBrowserWindow::WaitForParentEnd(HANDLE parentProcess) const
{
    if (!parentProcess)
        return ::WaitForSingleObject(m_watchStop.Get(), 0) != WAIT_OBJECT_0;
    // The stop signal comes first, so a stop wins when the add-in ends at the same moment.
    const HANDLE handles[2] = {m_watchStop.Get(), parentProcess};
    return ::WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0;
}

void COffscreenBrowserWindow::StopParentWatch()
{
    if (!m_watchThread.IsStarted())
        return;
    ::SetEvent(m_watchStop.Get());
    m_watchThread.Join();
}

// Once the loop is asked to end, the last reference to this object may go at any time. A
// command the reader dispatched then (a resize, a close) would post a task holding a new
// reference to an object already being destroyed, and destroy it again; so the reader ends
// first, while this object is certainly alive. Commands after the browser's end do nothing.
void COffscreenBrowserWindow::StopCommands()
{
    if (m_controlee)
        m_controlee->Stop();
}

void COffscreenBrowserWindow::DestroyHostWindow()
{
    if (!m_hwnd)
        return;
    // Messages sent while the window goes away must not reach an object that is going too.
    ::SetWindowLongPtrW(m_hwnd.Get(), GWLP_USERDATA, 0);
    m_hwnd.Reset();
}

void COffscreenBrowserWindow::SendEvent(const std::wstring& text)
{
    if (m_controlee)
        m_controlee->SendBrowserEvent(text);
}

CefRefPtr<CefBrowser> COffscreenBrowserWindow::CurrentBrowser() const
{
    std::lock_guard<std::mutex> lock(m_sharedLock);
    return m_browser;
}

// CefLifeSpanHandler

void COffscreenBrowserWindow::OnAfterCreated(CefRefPtr<CefBrowser> browser)
{
    CEF_REQUIRE_UI_THREAD();
    {
        std::lock_guard<std::mutex> lock(m_sharedLock);
        m_browser = browser;
    }
    SendEvent(kBrowserCreatedEvent);
}

void COffscreenBrowserWindow::OnBeforeClose(CefRefPtr<CefBrowser> browser)
{
    CEF_REQUIRE_UI_THREAD();
    g_hostExitCode = kExitBrowserClosed;
    {
        std::lock_guard<std::mutex> lock(m_sharedLock);
        m_browser = nullptr;
    }
    browser->GetHost()->CloseDevTools();
    DestroyHostWindow();
    // Also when the browser closed without CloseHost: nothing may watch a host that is ending.
    StopParentWatch();
    StopCommands();
    CefQuitMessageLoop();
}

// IBrowserControleeConsumer

// Moves and clicks are bounded by the last painted view; until one has been painted they
// are all dropped.
void COffscreenBrowserWindow::MouseMove(int x, int y, bool /*flag*/, int modifiers)
{
    CefRefPtr<CefBrowser> browser = CurrentBrowser();
    if (browser && m_frames.ViewContains(x, y))
        browser->GetHost()->SendMouseMoveEvent(MouseEventAt(x, y, modifiers), false);
}

void COffscreenBrowserWindow::MouseClick(int x, int y, bool leftButton, bool buttonDown, int modifiers)
{
    if (m_frames.ViewContains(x, y))
        SendMouseClick(x, y, leftButton, buttonDown, modifiers);
}

void COffscreenBrowserWindow::SendMouseClick(int x, int y, bool leftButton, bool buttonDown, int modifiers)
{
    if (CefRefPtr<CefBrowser> browser = CurrentBrowser()) {
        browser->GetHost()->SendMouseClickEvent(MouseEventAt(x, y, modifiers), leftButton ? MBT_LEFT : MBT_RIGHT,
                                                !buttonDown, kClickCount);
    }
}

void COffscreenBrowserWindow::MouseWheel(int x, int y, int deltaX, int deltaY, int modifiers)
{
    if (CefRefPtr<CefBrowser> browser = CurrentBrowser())
        browser->GetHost()->SendMouseWheelEvent(MouseEventAt(x, y, modifiers), deltaX, deltaY);
}

void COffscreenBrowserWindow::KeyEvent(int keyCode, bool keyDown, bool keyUp, bool systemKey, bool /*spare*/)
{
    CefRefPtr<CefBrowser> browser = CurrentBrowser();
    if (!browser)
        return;
    CefKeyEvent event;
    // Down wins over up: a key down always goes out as a raw key down.
    event.type = keyDown ? KEYEVENT_RAWKEYDOWN : keyUp ? KEYEVENT_KEYUP : KEYEVENT_CHAR;
    // Not from the command: the keyboard as this process sees it now.
    event.modifiers = GetKeyboardModifiers(0, 0);
    event.windows_key_code = keyCode;
    event.is_system_key = systemKey ? 1 : 0;
    browser->GetHost()->SendKeyEvent(event);
}

void COffscreenBrowserWindow::Focus(bool focused)
{
    if (CefRefPtr<CefBrowser> browser = CurrentBrowser())
        browser->GetHost()->SendFocusEvent(focused);
}

void COffscreenBrowserWindow::GoBack()
{
    if (CefRefPtr<CefBrowser> browser = CurrentBrowser())
        browser->GoBack();
}

bool COffscreenBrowserWindow::CanGoBack()
{
    const CefRefPtr<CefBrowser> browser = CurrentBrowser();
    return browser && browser->CanGoBack();
}

void COffscreenBrowserWindow::GoForward()
{
    if (CefRefPtr<CefBrowser> browser = CurrentBrowser())
        browser->GoForward();
}

bool COffscreenBrowserWindow::CanGoForward()
{
    const CefRefPtr<CefBrowser> browser = CurrentBrowser();
    return browser && browser->CanGoForward();
}

void COffscreenBrowserWindow::LoadUrl(std::wstring url)
{
    if (CefRefPtr<CefBrowser> browser = CurrentBrowser())
        browser->GetMainFrame()->LoadURL(url);
}

std::wstring COffscreenBrowserWindow::GetUrl()
{
    std::lock_guard<std::mutex> lock(m_sharedLock);
    return m_browser ? m_address : std::wstring();
}

void COffscreenBrowserWindow::Resize(int width, int height)
{
    // No view has a negative size; CEF would be asked to paint one.
    if (width < 0 || height < 0)
        return;
    // The window and the view size belong to the UI thread. Handing the work over also keeps
    // this thread from waiting for a UI thread that may itself wait for our next command (a
    // dialog answer). Only the latest size matters: sizes that arrive while one is on its way
    // replace it, so a flood of resizes never piles up work on the UI thread.
    {
        std::lock_guard<std::mutex> lock(m_sharedLock);
        m_requestedWidth = width;
        m_requestedHeight = height;
        if (m_resizePosted)
            return;
        m_resizePosted = true;
    }
    CefPostTask(TID_UI, NewCefRunnableMethod(this, &COffscreenBrowserWindow::ResizeHostWindow));
}

void COffscreenBrowserWindow::ResizeHostWindow()
{
    CEF_REQUIRE_UI_THREAD();
    int width = 0;
    int height = 0;
    {
        std::lock_guard<std::mutex> lock(m_sharedLock);
        width = m_requestedWidth;
        height = m_requestedHeight;
        m_resizePosted = false;
    }
    if (m_hwnd) {
        RECT outer = {};
        RECT client = {};
        ::GetWindowRect(m_hwnd.Get(), &outer);
        ::GetClientRect(m_hwnd.Get(), &client);
        const int frameWidth = (outer.right - outer.left) - (client.right - client.left);
        const int frameHeight = (outer.bottom - outer.top) - (client.bottom - client.top);
        ::MoveWindow(m_hwnd.Get(), outer.left, outer.top, SaturatedSum(width, frameWidth),
                     SaturatedSum(height, frameHeight), TRUE);
    }
    SetViewSize(width, height);
}

void COffscreenBrowserWindow::ExecuteScript(std::wstring script)
{
    if (CefRefPtr<CefBrowser> browser = CurrentBrowser()) {
        CefRefPtr<CefFrame> frame = browser->GetMainFrame();
        frame->ExecuteJavaScript(script, frame->GetURL(), 0);
    }
}

void COffscreenBrowserWindow::JsDialogReply(bool success, std::wstring userInput)
{
    CefRefPtr<CefJSDialogCallback> callback;
    {
        std::lock_guard<std::mutex> lock(m_sharedLock);
        if (!m_browser)
            return;
        // Taken, not copied: a second answer to the same dialog finds nothing to continue.
        callback.swap(m_jsDialogCallback);
    }
    if (!callback)
        return;
    callback->Continue(success, userInput);
    ::SetEvent(m_jsDialogEvent.Get());
}

void COffscreenBrowserWindow::FileDialogReply(bool accepted, std::vector<std::wstring> paths)
{
    CefRefPtr<CefFileDialogCallback> callback;
    {
        std::lock_guard<std::mutex> lock(m_sharedLock);
        if (!m_browser)
            return;
        callback.swap(m_fileDialogCallback);
    }
    if (!callback)
        return;
    if (accepted)
        callback->Continue(0, std::vector<CefString>(paths.begin(), paths.end()));
    else
        callback->Cancel();
    ::SetEvent(m_fileDialogEvent.Get());
}

void COffscreenBrowserWindow::Close()
{
    // A dialog handler waiting on the UI thread wakes up; its dialog is never continued.
    {
        std::lock_guard<std::mutex> lock(m_sharedLock);
        m_jsDialogCallback = nullptr;
        m_fileDialogCallback = nullptr;
        m_closeRequested = true;
    }
    ::SetEvent(m_jsDialogEvent.Get());
    ::SetEvent(m_fileDialogEvent.Get());
    if (m_controlee)
        m_controlee->SetConsumer(nullptr);
    CloseHost();
}
