// A stand-in for Pagehull with the real dispatcher and channel behind a scripted browser
// that reports what it receives as event texts, so that pagehull-drive can be tested as a
// program before the host exists. Exits 2 after the close command, 1 when its add-in ends.

#include "BrowserControlee.h"
#include "Win32Handles.h"

#include <windows.h>

#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

namespace {

class CScriptedBrowser : public IBrowserControleeConsumer {
public:
    CScriptedBrowser() : m_closed(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    void Begin(CBrowserControlee& controlee, const std::wstring& address)
    {
        m_controlee = &controlee;
        m_controlee->SendBrowserEvent(L"browserCreated:");
        LoadUrl(address);
    }

    HANDLE Closed() const { return m_closed.Get(); }

    void MouseMove(int, int, bool, int) override {}
    void MouseClick(int x, int y, bool, bool buttonDown, int) override
    {
        if (buttonDown)
            Report(L"JSDispatch:click " + std::to_wstring(x) + L"," + std::to_wstring(y));
    }
    void MouseWheel(int, int, int, int, int) override {}
    void KeyEvent(int keyCode, bool, bool, bool, bool) override
    {
        Report(L"JSDispatch:key " + std::to_wstring(keyCode));
    }
    void Focus(bool) override {}
    void GoBack() override
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_history.size() > 1)
            m_history.pop_back();
    }
    bool CanGoBack() override
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_history.size() > 1;
    }
    void GoForward() override {}
    bool CanGoForward() override { return false; }
    void LoadUrl(std::wstring url) override
    {
        size_t depth = 0;
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_history.push_back(url);
            depth = m_history.size();
        }
        Report(L"loadStart:");
        Report(L"address:" + url);
        // A 4 × 2 frame whose blue byte tells how deep the history is.
        const std::vector<unsigned char> pixels(4 * 2 * 4, static_cast<unsigned char>(depth));
        m_controlee->SendFrame(4, 2, pixels.data(), static_cast<uint32_t>(pixels.size()));
        Report(L"loadEnd:200");
    }
    std::wstring GetUrl() override
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_history.empty() ? std::wstring() : m_history.back();
    }
    void Resize(int, int) override {}
    void ExecuteScript(std::wstring script) override { Report(L"JSDispatch:" + script); }
    void JsDialogReply(bool, std::wstring) override {}
    void FileDialogReply(bool, std::vector<std::wstring>) override {}
    void Close() override
    {
        m_controlee->SetConsumer(nullptr);
        ::SetEvent(m_closed.Get());
    }

private:
    void Report(const std::wstring& text) { m_controlee->SendBrowserEvent(text); }

    CBrowserControlee* m_controlee = nullptr;
    NsWin32::CKernelHandle m_closed;
    std::mutex m_lock;
    std::vector<std::wstring> m_history;
};

int SwitchValue(const std::wstring& argument, const wchar_t* name, int fallback)
{
    const std::wstring prefix = std::wstring(L"--") + name + L"=";
    return argument.compare(0, prefix.size(), prefix) == 0 ? std::wcstol(argument.c_str() + prefix.size(), nullptr, 10)
                                                           : fallback;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int index = -1;
    int processId = 0;
    std::wstring address = L"about:blank";
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        index = SwitchValue(argument, L"idx", index);
        processId = SwitchValue(argument, L"pid", processId);
        if (argument.compare(0, 2, L"--") != 0)
            address = argument;
    }
    const NsWin32::CKernelHandle addin(::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId)));
    if (!addin)
        return 1;
    CScriptedBrowser browser;
    CBrowserControlee controlee(processId, index, &browser);
    controlee.Start();
    browser.Begin(controlee, address);
    const HANDLE ends[2] = {browser.Closed(), addin.Get()};
    const DWORD ended = ::WaitForMultipleObjects(2, ends, FALSE, INFINITE);
    controlee.Stop();
    return ended == WAIT_OBJECT_0 ? 2 : 1;
}
