#pragma once

// A Pagehull.exe driven by this test process as its add-in, with the scripted engine's control
// pipe, and the event texts checked in the exact order they arrive.

#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace NsHostTest {

class CDrivenHost {
public:
    explicit CDrivenHost(const std::wstring& address);

    CDrivenHost(const CDrivenHost&) = delete;
    CDrivenHost& operator=(const CDrivenHost&) = delete;

    CAddinEnd& Addin() { return m_addin; }
    CEngineControl& Engine() { return m_engine; }
    CChildProcess& Process() { return m_process; }

    bool Send(const NsChannel::Command& command) { return m_addin.Send(command); }
    // The next journal line holding every one of `terms`, as CEngineControl::WaitForJournal.
    bool Expect(const std::string& terms) { return m_engine.WaitForJournal(terms).has_value(); }

    // The next event texts after those of earlier calls are exactly `expected`, in order.
    ::testing::AssertionResult ExpectEvents(const std::vector<std::wstring>& expected);
    // One control request that the engine must accept.
    ::testing::AssertionResult Request(const std::string& line);
    // Proves that nothing was sent since the last expected event: page script sends a mark,
    // and it must be the very next event.
    ::testing::AssertionResult ExpectNoEvent();
    // Resizes the view and waits until the add-in has a frame of the new size.
    ::testing::AssertionResult ResizeView(int32_t width, int32_t height);
    // The add-in's close command; the host must end as after a closed browser.
    ::testing::AssertionResult Close();

private:
    int32_t m_index;
    CAddinEnd m_addin;
    CChildProcess m_process;
    CEngineControl m_engine;
    size_t m_expected = 0;
    int m_marks = 0;
};

NsChannel::Command ResizeCommand(int32_t width, int32_t height);

// The text of field `key` of a journal line, decoded.
std::string JournalText(const std::string& line, const std::string& key);

} // namespace NsHostTest
