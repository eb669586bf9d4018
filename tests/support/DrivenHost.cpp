#include "DrivenHost.h"

#include <algorithm>
#include <sstream>

namespace NsHostTest {

namespace {

std::string Printable(const std::vector<std::wstring>& events)
{
    std::ostringstream text;
    for (const std::wstring& event : events) {
        text << "\n  \"";
        for (const wchar_t c : event)
            text << (c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
        text << "\"";
    }
    return text.str();
}

} // namespace

CDrivenHost::CDrivenHost(const std::wstring& address)
    : m_index(NextIndex()),
      m_addin(SelfPid(), m_index),
      m_process(HostPath(), HostArguments(SelfPid(), m_index, address)),
      m_engine(m_process)
{
}

::testing::AssertionResult CDrivenHost::ExpectEvents(const std::vector<std::wstring>& expected)
{
    for (const std::wstring& event : expected) {
        if (!m_addin.WaitForEvent(event))
            return ::testing::AssertionFailure()
                   << "missing" << Printable({event}) << "\nevents so far:" << Printable(m_addin.Events());
    }
    const std::vector<std::wstring> events = m_addin.Events();
    const size_t end = std::min(events.size(), m_expected + expected.size());
    const std::vector<std::wstring> arrived(events.begin() + static_cast<std::ptrdiff_t>(m_expected),
                                            events.begin() + static_cast<std::ptrdiff_t>(end));
    m_expected = end;
    if (arrived != expected)
        return ::testing::AssertionFailure()
               << "expected:" << Printable(expected) << "\narrived:" << Printable(arrived);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CDrivenHost::Request(const std::string& line)
{
    const std::optional<std::string> answer = m_engine.Request(line);
    if (!answer || answer->compare(0, 2, "ok") != 0)
        return ::testing::AssertionFailure() << line << ": " << answer.value_or("pipe broken");
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CDrivenHost::ExpectNoEvent()
{
    const std::string mark = "mark-" + std::to_string(++m_marks);
    const ::testing::AssertionResult sent = Request("call addinTrace s:" + mark);
    if (!sent)
        return sent;
    return ExpectEvents({L"addinTrace:" + std::wstring(mark.begin(), mark.end())});
}

::testing::AssertionResult CDrivenHost::ResizeView(int32_t width, int32_t height)
{
    if (!Send(ResizeCommand(width, height)))
        return ::testing::AssertionFailure() << "resize not sent";
    if (!m_addin.WaitForFrame(width, height))
        return ::testing::AssertionFailure() << "no frame of " << width << " x " << height;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CDrivenHost::Close()
{
    if (!m_addin.Send(NsChannel::CMD_CLOSE))
        return ::testing::AssertionFailure() << "close command not sent";
    const std::optional<DWORD> exitCode = m_process.WaitForExit();
    if (exitCode != kExitBrowserClosed)
        return ::testing::AssertionFailure()
               << "exit code " << (exitCode ? std::to_string(*exitCode) : "none, still running");
    return ::testing::AssertionSuccess();
}

NsChannel::Command ResizeCommand(int32_t width, int32_t height)
{
    NsChannel::Command resize = MakeCommand(NsChannel::CMD_RESIZE);
    resize.width = width;
    resize.height = height;
    return resize;
}

std::string JournalText(const std::string& line, const std::string& key)
{
    return DecodeJournalText(Field(line, key));
}

} // namespace NsHostTest
