#pragma once

// A Pagehull.exe driven by the add-in's end of the channel for one test, with the scripted
// engine's control pipe, and the event texts checked in the exact order they arrive.

#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace NsHostEventsTest {

constexpr DWORD kExitBrowserClosed = 2;

// Channel names hold our process id and this index, so no two hosts of a test binary share
// a channel.
int32_t NextIndex();
int32_t SelfPid();

class CDrivenHost {
public:
    explicit CDrivenHost(const std::wstring& address);

    CDrivenHost(const CDrivenHost&) = delete;
    CDrivenHost& operator=(const CDrivenHost&) = delete;

    NsHostTest::CAddinEnd& Addin() { return m_addin; }
    NsHostTest::CEngineControl& Engine() { return m_engine; }
    NsHostTest::CChildProcess& Process() { return m_process; }

    // The next event texts after those of earlier calls are exactly `expected`, in order.
    ::testing::AssertionResult ExpectEvents(const std::vector<std::wstring>& expected);
    // One control request that the engine must accept.
    ::testing::AssertionResult Request(const std::string& line);
    // Proves that nothing was sent since the last expected event: page script sends a mark,
    // and it must be the very next event.
    ::testing::AssertionResult ExpectNoEvent();
    // The add-in's close command; the host must end as after a closed browser.
    ::testing::AssertionResult Close();

private:
    int32_t m_index;
    NsHostTest::CAddinEnd m_addin;
    NsHostTest::CChildProcess m_process;
    NsHostTest::CEngineControl m_engine;
    size_t m_expected = 0;
    int m_marks = 0;
};

// The text of field `key` of a journal line, decoded.
std::string JournalText(const std::string& line, const std::string& key);

} // namespace NsHostEventsTest
