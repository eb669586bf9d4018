// pagehull-view [--host=PATH] [--switch ...] ADDRESS
//
// A window that shows a page hosted by Pagehull.exe and takes input for it: everything an add-in
// does, through PagehullClient.dll. One thread waits for what the host reports and keeps the
// latest frame; the window's thread paints it, forwards input, and answers the page's dialogs
// with the ordinary Windows ones. Closing the window closes the host. Switches other than --host
// go to the host (--cefcompat-engine=scripted, for example).

#include "pagehull_client.hpp"

#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <deque>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t kWindowClass[] = L"PagehullView";
constexpr UINT kEventsWaiting = WM_APP + 1;
constexpr UINT kWaitSliceMs = 1000;
constexpr DWORD kCloseTimeoutMs = 5000;
constexpr int kPromptEdit = 100;

class CViewer {
public:
    pagehull::Session session;
    HWND window = nullptr;
    std::wstring address;

    // The waiting thread: frames are copied here, everything else is queued for the window.
    void ReceiveEvents()
    {
        pagehull::Event event;
        for (;;) {
            const ph_status status = session.Wait(event, kWaitSliceMs);
            if (status == PH_TIMEOUT)
                continue;
            if (status != PH_OK)
                return;
            if (event.kind == PH_EVENT_FRAME) {
                const std::lock_guard<std::mutex> guard(m_lock);
                session.CopyFrame(m_frame);
                ::InvalidateRect(window, nullptr, FALSE);
                continue;
            }
            {
                const std::lock_guard<std::mutex> guard(m_lock);
                m_events.push_back(event);
            }
            ::PostMessageW(window, kEventsWaiting, 0, 0);
            if (event.kind == PH_EVENT_HOST_ENDED)
                return;
        }
    }

    void Paint(HDC dc)
    {
        RECT client{};
        ::GetClientRect(window, &client);
        const std::lock_guard<std::mutex> guard(m_lock);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = m_frame.width;
        info.bmiHeader.biHeight = -m_frame.height; // rows top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        if (!m_frame.pixels.empty())
            ::SetDIBitsToDevice(dc, 0, 0, m_frame.width, m_frame.height, 0, 0, 0, m_frame.height, m_frame.pixels.data(),
                                &info, DIB_RGB_COLORS);
        // What the frame does not cover yet, while the host follows a resize.
        const RECT right{m_frame.width, 0, client.right, client.bottom};
        const RECT below{0, m_frame.height, m_frame.width, client.bottom};
        ::FillRect(dc, &right, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
        ::FillRect(dc, &below, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
    }

    void HandleEvents()
    {
        for (;;) {
            pagehull::Event event;
            {
                const std::lock_guard<std::mutex> guard(m_lock);
                if (m_events.empty())
                    return;
                event = std::move(m_events.front());
                m_events.pop_front();
            }
            Handle(event);
        }
    }

private:
    void Handle(const pagehull::Event& event)
    {
        switch (event.kind) {
        case PH_EVENT_ADDRESS:
            address = event.text;
            m_title.clear();
            UpdateCaption();
            break;
        case PH_EVENT_LOAD_END:
            // The host reports no title; page script tells it through the add-in's bridge.
            session.ExecuteScript(L"brelvo.Mevora.dispatchEvent('pagehull-view-title:' + document.title);");
            break;
        case PH_EVENT_SCRIPT_DISPATCH:
            if (event.text.rfind(L"pagehull-view-title:", 0) == 0) {
                m_title = event.text.substr(20);
                UpdateCaption();
            }
            break;
        case PH_EVENT_POPUP: session.LoadUrl(event.text); break;
        case PH_EVENT_ALERT: ::MessageBoxW(window, event.text.c_str(), address.c_str(), MB_OK); break;
        case PH_EVENT_CONFIRM:
            session.AnswerScriptDialog(
                ::MessageBoxW(window, event.text.c_str(), address.c_str(), MB_OKCANCEL | MB_ICONQUESTION) == IDOK);
            break;
        case PH_EVENT_PROMPT: AnswerPrompt(event); break;
        case PH_EVENT_FILE_DIALOG: AnswerFileDialog(event); break;
        case PH_EVENT_HOST_ENDED:
            ::SetWindowTextW(window, (L"Pagehull ended (" + std::to_wstring(event.value) + L") - " + address).c_str());
            break;
        default: break;
        }
    }

    void UpdateCaption()
    {
        const std::wstring caption = m_title.empty() ? address : m_title + L" - " + address;
        ::SetWindowTextW(window, caption.c_str());
    }

    void AnswerPrompt(const pagehull::Event& event)
    {
        m_promptText = event.defaultText;
        const bool accepted = ShowPrompt(event.text);
        session.AnswerScriptDialog(accepted, accepted ? m_promptText : std::wstring());
    }

    // A small modal dialog made in memory: the message, an edit field, OK and Cancel.
    bool ShowPrompt(const std::wstring& message)
    {
        struct CItem {
            DWORD style;
            short x, y, cx, cy;
            WORD id;
            WORD atom;
            const wchar_t* text;
        };
        const CItem items[] = {
            {WS_CHILD | WS_VISIBLE | SS_LEFT, 7, 7, 226, 28, 0xFFFF, 0x0082, message.c_str()},
            {WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 7, 38, 226, 12, kPromptEdit, 0x0081, L""},
            {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 126, 56, 50, 14, IDOK, 0x0080, L"OK"},
            {WS_CHILD | WS_VISIBLE | WS_TABSTOP, 183, 56, 50, 14, IDCANCEL, 0x0080, L"Cancel"},
        };
        std::vector<WORD> data;
        const auto add = [&](const void* bytes, size_t size) {
            const auto* words = static_cast<const WORD*>(bytes);
            data.insert(data.end(), words, words + size / 2);
        };
        const auto addText = [&](const wchar_t* text) { add(text, (wcslen(text) + 1) * sizeof(wchar_t)); };
        DLGTEMPLATE dialog{};
        dialog.style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        dialog.cdit = static_cast<WORD>(std::size(items));
        dialog.cx = 240;
        dialog.cy = 77;
        add(&dialog, sizeof dialog);
        data.insert(data.end(), {0, 0}); // no menu, the default class
        addText(address.c_str());
        for (const CItem& item : items) {
            if (data.size() % 2 != 0)
                data.push_back(0); // items start on a DWORD
            DLGITEMTEMPLATE entry{};
            entry.style = item.style;
            entry.x = item.x;
            entry.y = item.y;
            entry.cx = item.cx;
            entry.cy = item.cy;
            entry.id = item.id;
            add(&entry, sizeof entry);
            data.insert(data.end(), {0xFFFF, item.atom});
            addText(item.text);
            data.push_back(0); // no creation data
        }
        return ::DialogBoxIndirectParamW(nullptr, reinterpret_cast<DLGTEMPLATE*>(data.data()), window, PromptProc,
                                         reinterpret_cast<LPARAM>(this)) == IDOK;
    }

    static INT_PTR CALLBACK PromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<CViewer*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        switch (message) {
        case WM_INITDIALOG:
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            ::SetDlgItemTextW(dialog, kPromptEdit, reinterpret_cast<CViewer*>(lParam)->m_promptText.c_str());
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                wchar_t text[2048] = {};
                ::GetDlgItemTextW(dialog, kPromptEdit, text, static_cast<int>(std::size(text)));
                self->m_promptText = text;
            }
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
                ::EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        default: return FALSE;
        }
    }

    // Modes 0 (open), 1 (open several) and 3 (save); a folder (2) is chosen as a file is opened.
    void AnswerFileDialog(const pagehull::Event& event)
    {
        const int mode = event.value & 0xFF;
        std::wstring filter;
        for (const std::wstring& type : event.filters) {
            const std::wstring pattern = type.rfind(L'.', 0) == 0 ? L"*" + type : type;
            filter += type + L'\0' + pattern + L'\0';
        }
        filter += std::wstring(L"All files") + L'\0' + L"*.*" + L'\0';
        std::vector<wchar_t> file(32768, L'\0');
        event.defaultText.copy(file.data(), std::min(event.defaultText.size(), file.size() - 1));
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = window;
        dialog.lpstrFilter = filter.c_str();
        dialog.lpstrFile = file.data();
        dialog.nMaxFile = static_cast<DWORD>(file.size());
        dialog.lpstrTitle = event.text.empty() ? nullptr : event.text.c_str();
        dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | (mode == 1 ? OFN_ALLOWMULTISELECT : 0) |
                       (mode == 3 ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
        const bool chosen = mode == 3 ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog);
        session.AnswerFileDialog(chosen, chosen ? ChosenPaths(file) : std::vector<std::wstring>());
    }

    // One path, or a folder followed by the names chosen in it, each ended by a NUL.
    static std::vector<std::wstring> ChosenPaths(const std::vector<wchar_t>& buffer)
    {
        std::vector<std::wstring> parts;
        for (const wchar_t* part = buffer.data(); *part != L'\0'; part += wcslen(part) + 1)
            parts.emplace_back(part);
        if (parts.size() < 2)
            return parts;
        std::vector<std::wstring> paths;
        for (size_t i = 1; i < parts.size(); ++i)
            paths.push_back(parts[0] + L"\\" + parts[i]);
        return paths;
    }

    std::mutex m_lock;
    pagehull::Frame m_frame;
    std::deque<pagehull::Event> m_events;
    std::wstring m_title;
    std::wstring m_promptText;
};

// Input that means nothing to this window itself; the rest also goes to DefWindowProc (system
// keys keep Alt+F4, focus and size keep their usual handling).
bool OnlyForThePage(UINT message)
{
    return message == WM_MOUSEMOVE || message == WM_MOUSEWHEEL || message == WM_KEYDOWN || message == WM_KEYUP ||
           message == WM_CHAR;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* viewer = reinterpret_cast<CViewer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = ::BeginPaint(window, &paint);
        viewer->Paint(dc);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case kEventsWaiting: viewer->HandleEvents(); return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: ::SetCapture(window); break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: ::ReleaseCapture(); break;
    case WM_CLOSE: ::DestroyWindow(window); return 0;
    case WM_DESTROY: ::PostQuitMessage(0); return 0;
    default: break;
    }
    if (viewer != nullptr && viewer->session.ForwardInput(window, message, wParam, lParam) && OnlyForThePage(message))
        return 0;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

int Fail(const std::wstring& message)
{
    ::MessageBoxW(nullptr, message.c_str(), L"pagehull-view", MB_OK | MB_ICONERROR);
    return 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::wstring hostPath = ProgramFolder() + L"Pagehull.exe";
    std::vector<std::wstring> switches;
    CViewer viewer;
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = arguments[i];
        if (argument.rfind(L"--host=", 0) == 0)
            hostPath = argument.substr(7);
        else if (argument.rfind(L"--", 0) == 0)
            switches.push_back(argument);
        else
            viewer.address = argument;
    }
    ::LocalFree(arguments);
    if (viewer.address.empty())
        return Fail(L"usage: pagehull-view [--host=PATH] [--switch ...] ADDRESS");

    const ph_status started = viewer.session.Start(hostPath, viewer.address, switches);
    if (started != PH_OK) {
        const std::string reason = ph_status_text(started);
        return Fail(L"Pagehull did not start: " + std::wstring(reason.begin(), reason.end()));
    }

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);
    RECT frame{0, 0, 800, 600};
    ::AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    viewer.window =
        ::CreateWindowExW(0, kWindowClass, viewer.address.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                          frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, &viewer);
    if (viewer.window == nullptr)
        return Fail(L"cannot create the window");
    ::ShowWindow(viewer.window, show);
    std::thread receiver([&viewer] { viewer.ReceiveEvents(); });

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    // Closing the session ends the waiting thread's wait, then the host.
    viewer.session.Close(kCloseTimeoutMs);
    receiver.join();
    return 0;
}
