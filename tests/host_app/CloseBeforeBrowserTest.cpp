// A host asked to close before CEF has reported its browser ends its loop at once and exits
// with code 1, however the close arrives. The runtime keeps the browser's creation back
// (CEFCOMPAT_HOLD_BROWSERS=1), so the close always comes first.

#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

using namespace NsHostTest;

namespace {

const std::wstring kPage = L"http://pagehull.test/held";

// Set in this process while it lives, so that the processes started meanwhile inherit it.
class CScopedVariable {
public:
    CScopedVariable(const wchar_t* name, const wchar_t* value) : m_name(name)
    {
        wchar_t previous[256] = {};
        const DWORD length = ::GetEnvironmentVariableW(name, previous, 256);
        m_hadValue = length > 0 && length < 256;
        if (m_hadValue)
            m_previous.assign(previous, length);
        ::SetEnvironmentVariableW(name, value);
    }
    ~CScopedVariable() { ::SetEnvironmentVariableW(m_name, m_hadValue ? m_previous.c_str() : nullptr); }

    CScopedVariable(const CScopedVariable&) = delete;
    CScopedVariable& operator=(const CScopedVariable&) = delete;

private:
    const wchar_t* const m_name;
    bool m_hadValue = false;
    std::wstring m_previous;
};

// The host, started with `arguments`, whose browser the runtime does not create until asked.
class CHostWithoutBrowser {
public:
    explicit CHostWithoutBrowser(const std::wstring& arguments)
    {
        {
            const CScopedVariable hold(L"CEFCOMPAT_HOLD_BROWSERS", L"1");
            m_process.emplace(HostPath(), arguments);
        }
        m_engine.emplace(*m_process);
    }

    // True once the runtime holds the browser's creation: the host's loop runs without one.
    bool WaitUntilHeld()
    {
        return m_engine->IsConnected() && m_engine->WaitForJournal("event BrowserCreationHeld").has_value();
    }

    CChildProcess& Process() { return *m_process; }

private:
    std::optional<CChildProcess> m_process;
    std::optional<CEngineControl> m_engine;
};

bool Reported(CAddinEnd& addin, const std::wstring& text)
{
    const std::vector<std::wstring> events = addin.Events();
    return std::find(events.begin(), events.end(), text) != events.end();
}

} // namespace

TEST(CloseBeforeBrowser, TheAddinsCloseCommandEndsTheHostWithCodeOne)
{
    const int32_t index = NextIndex();
    CAddinEnd addin(SelfPid(), index);
    ASSERT_TRUE(addin.IsOpen());
    CHostWithoutBrowser host(HostArguments(SelfPid(), index, kPage));
    ASSERT_TRUE(host.WaitUntilHeld());
    ASSERT_TRUE(addin.WaitForHost());

    ASSERT_TRUE(addin.Send(NsChannel::CMD_CLOSE));
    EXPECT_EQ(host.Process().WaitForExit(), kExitNoBrowser);
    EXPECT_FALSE(Reported(addin, L"browserCreated:"));
}

TEST(CloseBeforeBrowser, TheWindowsCloseEndsTheHostWithCodeOne)
{
    CHostWithoutBrowser host(L"");
    ASSERT_TRUE(host.WaitUntilHeld());
    const HWND window = FindHostWindow(host.Process().Id());
    ASSERT_NE(window, nullptr);

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(host.Process().WaitForExit(), kExitNoBrowser);
}

TEST(CloseBeforeBrowser, TheAddinsEndEndsTheHostWithCodeOne)
{
    CChildProcess standin(BinaryPath(L"host_app_addin_standin.exe"), std::to_wstring(SelfPid()));
    ASSERT_TRUE(standin.IsStarted());
    CHostWithoutBrowser host(HostArguments(static_cast<int32_t>(standin.Id()), NextIndex(), kPage));
    ASSERT_TRUE(host.WaitUntilHeld());

    standin.Kill();
    EXPECT_EQ(host.Process().WaitForExit(), kExitNoBrowser);
}
