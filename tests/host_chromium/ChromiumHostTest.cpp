// Pagehull.exe showing real pages in Chromium, seen from the add-in's side: event texts, query
// replies, the window caption (the page's title) and the pixels of the frames. The runtime's
// control pipe names Chromium's process and profile folder, so the test can check that nothing
// of it outlives the host.

#include <winsock2.h>

#include "HostTestSupport.h"
#include "pagehull_client.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace NsHostTest;
using NsChannel::Command;

namespace {

constexpr int32_t kViewWidth = 1024;
constexpr int32_t kViewHeight = 768;

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// A page of this folder's pages/, as the add-in names it: a Windows path on drive Z:.
std::wstring PageUrl(const char* name)
{
    return L"file:///Z:" + Widen(CHROMIUM_PAGES_DIR) + L"/" + Widen(name);
}

// A Linux path as this process reaches it.
std::wstring ZPath(const std::string& linuxPath)
{
    std::wstring path = L"Z:" + Widen(linuxPath);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Chromium's processes are Linux ones: nothing signals their end to a Wine process, so their
// absence is looked for again and again until the deadline.
bool BecomesTrue(const std::function<bool()>& condition)
{
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > kTimeoutMs)
            return false;
        ::Sleep(100);
    }
    return true;
}

// Runs a Linux program; Wine gives no handle to wait on, so its effect is what a test waits for.
bool RunLinux(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring commandLine = program + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(ZPath(Narrow(program)).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return false;
    if (info.hProcess)
        ::CloseHandle(info.hProcess);
    if (info.hThread)
        ::CloseHandle(info.hThread);
    return true;
}

// A loopback HTTP server that answers every request with one status and a small page, and
// notes the path of each. Every connection has a thread of its own: Chromium opens connections
// it sends nothing on, which must not hold the others back.
class CStatusServer {
public:
    explicit CStatusServer(int status,
                           std::string body = "<html><head><title>Status</title></head><body>status</body></html>")
        : m_status(status),
          m_body(std::move(body))
    {
        WSADATA data;
        m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof(address);
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(m_listener, 4) == 0 &&
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }

    ~CStatusServer()
    {
        // Closing the listener ends the accept the thread waits in; shutting the connections
        // down ends the reads their threads wait in.
        ::closesocket(m_listener);
        m_thread.join();
        for (SOCKET client : m_clients)
            ::shutdown(client, SD_BOTH);
        for (std::thread& answerer : m_answerers)
            answerer.join();
        for (SOCKET client : m_clients)
            ::closesocket(client);
        if (m_started)
            ::WSACleanup();
    }

    std::wstring Url(const char* path) const { return L"http://127.0.0.1:" + std::to_wstring(m_port) + Widen(path); }

    size_t Requests(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<size_t>(std::count(m_paths.begin(), m_paths.end(), path));
    }

    bool WaitForRequest(const std::string& path)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_requested.wait_for(lock, std::chrono::milliseconds(kTimeoutMs),
                                    [&] { return std::find(m_paths.begin(), m_paths.end(), path) != m_paths.end(); });
    }

private:
    void Serve()
    {
        for (;;) {
            const SOCKET client = ::accept(m_listener, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                return;
            m_clients.push_back(client);
            m_answerers.emplace_back([this, client] { Answer(client); });
        }
    }

    void Answer(SOCKET client)
    {
        std::string request;
        char buffer[4096];
        int got = 0;
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 &&
               (got = ::recv(client, buffer, sizeof(buffer), 0)) > 0)
            request.append(buffer, static_cast<size_t>(got));
        const size_t path = request.find(' ');
        if (request.find("\r\n\r\n") == std::string::npos || path == std::string::npos)
            return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_paths.push_back(request.substr(path + 1, request.find(' ', path + 1) - path - 1));
        }
        m_requested.notify_all();
        const std::string response =
            "HTTP/1.1 " + std::to_string(m_status) +
            " Status\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(m_body.size()) +
            "\r\nConnection: close\r\n\r\n" + m_body;
        ::send(client, response.data(), static_cast<int>(response.size()), 0);
        ::shutdown(client, SD_SEND);
    }

    const int m_status;
    const std::string m_body;
    bool m_started = false;
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::thread m_thread;
    // The accepting thread's until it has ended.
    std::vector<SOCKET> m_clients;
    std::vector<std::thread> m_answerers;
    std::mutex m_mutex;
    std::condition_variable m_requested;
    std::vector<std::string> m_paths;
};

// A file of this process's temporary folder, as a Linux program names it.
std::string TempFile(const std::string& name)
{
    return "/tmp/cefcompat-test-" + std::to_string(::GetCurrentProcessId()) + "-" + name;
}

std::string ReadAll(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// What a Linux shell sees of Chromium's process group |group|: the sockets its processes hold,
// how many of those listen on a TCP port, and the mode of the folder |profile|, as
// "sockets=N listening=N mode=NNN"; empty when the probe did not answer.
std::string ProbeChromium(const std::string& group, const std::string& profile)
{
    const std::string script = TempFile("probe.sh");
    const std::string out = TempFile("probe.out");
    std::ofstream(std::filesystem::path(ZPath(script)), std::ios::binary) << R"SH(
for p in /proc/[0-9]*; do
  [ "$(cut -d' ' -f5 "$p/stat" 2>/dev/null)" = "$1" ] && ls -l "$p/fd" 2>/dev/null
done | sed -n 's/.*socket:\[\([0-9]*\)\].*/\1/p' | sort -u > "$3.inodes"
listening=$(awk 'NR == FNR { s[$1] = 1; next } $4 == "0A" && ($10 in s)' "$3.inodes" /proc/net/tcp /proc/net/tcp6 | wc -l)
echo "sockets=$(wc -l < "$3.inodes") listening=$listening mode=$(stat -c %a "$2")" > "$3.tmp"
rm -f "$3.inodes"; mv "$3.tmp" "$3"
)SH";
    std::string result;
    if (RunLinux(L"/bin/sh", Widen(script + " " + group + " " + profile + " " + out)) &&
        BecomesTrue([&] { return Exists(ZPath(out)); }))
        result = ReadAll(ZPath(out));
    ::DeleteFileW(ZPath(out).c_str());
    ::DeleteFileW(ZPath(script).c_str());
    return result.substr(0, result.find('\n'));
}

struct CPixel {
    int x;
    int y;
    uint32_t rgb;
};

// JPEG frames are close to the page's colours, not equal.
bool Near(uint32_t actual, uint32_t expected)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>((actual >> shift) & 0xFF);
        const int e = static_cast<int>((expected >> shift) & 0xFF);
        if (a - e > 24 || e - a > 24)
            return false;
    }
    return true;
}

// A Pagehull.exe started as an add-in starts it, with only the host's own switches and |switches|:
// the Chromium engine is its default. Driven by this process as its add-in.
class CChromiumHost {
public:
    explicit CChromiumHost(const std::wstring& address, const std::wstring& switches = std::wstring())
        : m_index(NextIndex()),
          m_addin(SelfPid(), m_index),
          m_process(HostPath(), L"--idx=" + std::to_wstring(m_index) + L" --pid=" + std::to_wstring(SelfPid()) + L" " +
                                    switches + L" " + address),
          m_engine(m_process)
    {
    }

    ~CChromiumHost()
    {
        if (::testing::Test::HasFailure())
            ShowJournal();
    }

    CAddinEnd& Addin() { return m_addin; }
    CEngineControl& Engine() { return m_engine; }
    CChildProcess& Process() { return m_process; }

    bool WaitForEvent(const std::wstring& text) { return m_addin.WaitForEvent(text); }

    // Waits until a frame of the view's size shows every one of `pixels`.
    ::testing::AssertionResult WaitForPixels(const std::vector<CPixel>& pixels, int32_t width = kViewWidth,
                                             int32_t height = kViewHeight)
    {
        std::string seen = "no frame";
        // A page with a blinking caret paints for ever: the wait has a deadline of its own.
        const DWORD start = ::GetTickCount();
        do {
            const std::optional<CFrame> frame = m_addin.CurrentFrame();
            if (frame && frame->width == width && frame->height == height) {
                seen.clear();
                for (const CPixel& pixel : pixels) {
                    const uint32_t actual = frame->PixelAt(pixel.x, pixel.y);
                    if (!Near(actual, pixel.rgb))
                        seen += " (" + std::to_string(pixel.x) + "," + std::to_string(pixel.y) +
                                ")=" + std::to_string(actual);
                }
                if (seen.empty())
                    return ::testing::AssertionSuccess();
            }
        } while (::GetTickCount() - start < kTimeoutMs && m_addin.WaitForFrame(width, height));
        // Now, while the host still runs: whether the runtime painted what the add-in missed.
        ShowJournal();
        return ::testing::AssertionFailure() << "last frame:" << seen;
    }

    // Chromium's Linux process id and profile folder, from the runtime's control pipe.
    bool ChromiumProcess(std::string* pid, std::string* profile)
    {
        const std::optional<std::string> answer = m_engine.Request("chromium");
        if (!answer || Field(*answer, "running") != "1")
            return false;
        *pid = Field(*answer, "pid");
        *profile = DecodeJournalText(Field(*answer, "profile"));
        return !pid->empty() && !profile->empty();
    }

    std::wstring Caption() { return WindowCaption(FindHostWindow(m_process.Id())); }

    ::testing::AssertionResult WaitForCaption(const std::wstring& caption)
    {
        if (BecomesTrue([&] { return Caption() == caption; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "caption stays " << Narrow(Caption());
    }

private:
    // What the runtime saw, once: the hooks it called and what it noticed.
    void ShowJournal()
    {
        if (std::exchange(m_journalShown, true) || !m_engine.IsConnected())
            return;
        for (const std::string& line : m_engine.JournalSince("0"))
            if (line.compare(0, 5, "hook ") == 0 || line.compare(0, 6, "event ") == 0)
                std::printf("journal: %.300s\n", line.c_str());
    }

    bool m_journalShown = false;
    int32_t m_index;
    CAddinEnd m_addin;
    CChildProcess m_process;
    CEngineControl m_engine;
};

Command Click(int32_t x, int32_t y, bool down)
{
    Command click = MakeCommand(NsChannel::CMD_MOUSE_CLICK);
    click.x = x;
    click.y = y;
    click.leftButton = true;
    click.buttonDown = down;
    return click;
}

Command Character(wchar_t c)
{
    Command key = MakeCommand(NsChannel::CMD_KEY);
    key.keyCode = c;
    return key;
}

Command Script(const std::u16string& code)
{
    Command script = MakeCommand(NsChannel::CMD_EXECUTE_SCRIPT);
    script.text = code;
    return script;
}

Command Reply(NsChannel::CommandCode code, bool answer, const std::u16string& text)
{
    Command reply = MakeCommand(code);
    reply.answer = answer;
    reply.text = text;
    return reply;
}

const uint32_t kRed = 0xFF0000;
const uint32_t kGreen = 0x00FF00;
const uint32_t kBlue = 0x0000FF;
const uint32_t kYellow = 0xFFFF00;
const uint32_t kWhite = 0xFFFFFF;

} // namespace

TEST(ChromiumHost, ARealPageReachesTheAddinAsFramesAndAnswersItsInput)
{
    const std::wstring url = PageUrl("blocks.html");
    CChromiumHost host(url);
    ASSERT_TRUE(host.Addin().WaitForHost());
    // The load hooks in CEF's order, with the address the add-in gave and the status of a file.
    ASSERT_TRUE(host.WaitForEvent(L"browserCreated:"));
    ASSERT_TRUE(host.WaitForEvent(L"address:" + url));
    ASSERT_TRUE(host.WaitForEvent(L"loadStart:"));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));
    EXPECT_EQ(host.Addin().QueryUrl(), url);
    EXPECT_TRUE(host.WaitForCaption(L"Colour blocks " + url));

    EXPECT_TRUE(host.WaitForPixels({{100, 50, kRed}, {300, 50, kGreen}, {200, 150, kBlue}, {600, 400, kWhite}}));
    // The engine counts the frames it took and those it showed, which can only be fewer.
    const std::optional<std::string> chromium = host.Engine().Request("chromium");
    ASSERT_TRUE(chromium.has_value());
    EXPECT_GT(std::stoull(Field(*chromium, "frames_shown")), 0u);
    EXPECT_GE(std::stoull(Field(*chromium, "frames_taken")), std::stoull(Field(*chromium, "frames_shown")));

    // The blue block shows the hand; a click on it turns it yellow and names the click count
    // in the title.
    Command move = MakeCommand(NsChannel::CMD_MOUSE_MOVE);
    move.x = 200;
    move.y = 150;
    ASSERT_TRUE(host.Addin().Send(move));
    EXPECT_TRUE(host.Engine().WaitForJournal("hook OnCursorChange type=2").has_value());
    ASSERT_TRUE(host.Addin().Send(Click(200, 150, true)));
    ASSERT_TRUE(host.Addin().Send(Click(200, 150, false)));
    EXPECT_TRUE(host.WaitForPixels({{200, 150, kYellow}, {100, 50, kRed}}));
    EXPECT_TRUE(host.WaitForCaption(L"clicked 1 " + url));

    // Characters typed into the field after a click on it.
    ASSERT_TRUE(host.Addin().Send(Click(20, 230, true)));
    ASSERT_TRUE(host.Addin().Send(Click(20, 230, false)));
    for (wchar_t c : std::wstring(L"Hi!"))
        ASSERT_TRUE(host.Addin().Send(Character(c)));
    EXPECT_TRUE(host.WaitForCaption(L"typed Hi! " + url));
    // Keys reach the page's handlers with their DOM key and code.
    for (const auto& key : std::vector<std::pair<int32_t, std::wstring>>{
             {VK_LEFT, L"ArrowLeft ArrowLeft"}, {'A', L"a KeyA"}, {VK_ESCAPE, L"Escape Escape"}, {VK_F2, L"F2 F2"}}) {
        Command down = MakeCommand(NsChannel::CMD_KEY);
        down.keyCode = key.first;
        down.keyDown = true;
        ASSERT_TRUE(host.Addin().Send(down));
        EXPECT_TRUE(host.WaitForCaption(L"down " + key.second + L" " + url));
    }
    ASSERT_TRUE(host.Addin().Send(Character(L'\r')));
    EXPECT_TRUE(host.WaitForCaption(L"press Enter Enter " + url));

    // Scripts run in the page.
    Command script = MakeCommand(NsChannel::CMD_EXECUTE_SCRIPT);
    script.text = u"document.documentElement.style.background = '#00ff00'; document.title = 'scripted';";
    ASSERT_TRUE(host.Addin().Send(script));
    EXPECT_TRUE(host.WaitForPixels({{600, 400, kGreen}}));
    EXPECT_TRUE(host.WaitForCaption(L"scripted " + url));

    // A resize changes the page's viewport, not the scale of its picture.
    Command resize = MakeCommand(NsChannel::CMD_RESIZE);
    resize.width = 800;
    resize.height = 600;
    ASSERT_TRUE(host.Addin().Send(resize));
    EXPECT_TRUE(host.WaitForPixels({{300, 50, kGreen}, {390, 150, kYellow}, {500, 400, kGreen}}, 800, 600));

    // F12 opens Chromium's own developer tools for the page, a second page of the same Chromium,
    // drawn into the host's "Dev Tools" window; closed by the user, they leave Chromium too.
    ::PostMessageW(FindHostWindow(host.Process().Id()), WM_KEYDOWN, VK_F12, 0x00580001);
    const std::optional<std::string> opened = host.Engine().WaitForJournal("event DevToolsOpened");
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(Field(*opened, "engine_tools"), "1");
    const HWND tools = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoul(Field(*opened, "hwnd"), nullptr, 16)));
    EXPECT_EQ(WindowCaption(tools), L"Dev Tools");
    // A blank picture has one colour; the front-end's panels, text and icons have many.
    std::optional<std::string> painted;
    while ((painted = host.Engine().WaitForJournal("event DevToolsPainted")) &&
           std::stoi(Field(*painted, "colours")) < 32)
        continue;
    ASSERT_TRUE(painted.has_value());
    // The front-end reaches the page only through the engine's relay: its commands and the
    // page's answers both pass.
    EXPECT_TRUE(BecomesTrue([&] {
        const std::optional<std::string> relay = host.Engine().Request("chromium");
        return relay && std::atoi(Field(*relay, "tools_to_page").c_str()) > 0 &&
               std::atoi(Field(*relay, "tools_to_front_end").c_str()) > 0;
    }));
    ::PostMessageW(tools, WM_CLOSE, 0, 0);
    EXPECT_TRUE(host.Engine().WaitForJournal("event DevToolsClosed reason=user").has_value());
    EXPECT_FALSE(::IsWindow(tools));

    ASSERT_TRUE(host.Addin().Send(NsChannel::CMD_CLOSE));
    EXPECT_EQ(host.Process().WaitForExit(), kExitBrowserClosed);
}

// PagehullClient.dll starts the host as an add-in does, with no switch of its own: the page
// comes from Chromium, its events come back typed, and the host's end is reported.
TEST(ChromiumHost, TheClientLibraryStartsAHostThatShowsTheRealPage)
{
    const std::wstring url = PageUrl("blocks.html");
    pagehull::Session session;
    ASSERT_EQ(session.Start(HostPath(), url, {}, kTimeoutMs), PH_OK);
    const CChildProcess process(session.HostProcessId());
    std::vector<std::wstring> events;
    bool shown = false;
    const auto loaded = [&] { return std::find(events.begin(), events.end(), L"loadEnd:200") != events.end(); };
    pagehull::Event event;
    const NsWin32::CDeadline deadline(kTimeoutMs);
    while (!(shown && loaded()) && session.Wait(event, deadline.Remaining()) == PH_OK &&
           event.kind != PH_EVENT_HOST_ENDED) {
        pagehull::Frame frame;
        if (event.kind != PH_EVENT_FRAME)
            events.push_back(event.raw);
        else if (session.CopyFrame(frame) == PH_OK && frame.width == kViewWidth)
            shown = Near(frame.At(100, 50), kRed) && Near(frame.At(200, 150), kBlue);
    }
    EXPECT_TRUE(shown);
    EXPECT_TRUE(loaded());
    EXPECT_NE(std::find(events.begin(), events.end(), L"address:" + url), events.end());

    ASSERT_EQ(session.CloseHost(), PH_OK);
    while (session.Wait(event, deadline.Remaining()) == PH_OK && event.kind != PH_EVENT_HOST_ENDED) {}
    EXPECT_EQ(event.kind, PH_EVENT_HOST_ENDED);
    EXPECT_EQ(event.value, static_cast<int32_t>(kExitBrowserClosed));
}

// The page's own script reaches the add-in through the host's extension, in every frame and
// before the page's script runs; its dialogs, file chooser, downloads and new windows become
// the host's questions, and the answers return to the page; the host leaves the question before
// leaving the page to the default.
TEST(ChromiumHost, PageScriptAndItsQuestionsReachTheAddin)
{
    CChromiumHost host(PageUrl("questions.html"));
    ASSERT_TRUE(host.Addin().WaitForHost());
    ASSERT_TRUE(host.WaitForEvent(L"JSDispatch:early:function"));
    ASSERT_TRUE(host.WaitForEvent(L"addinTrace:traced"));
    ASSERT_TRUE(host.WaitForEvent(L"JSDispatch:frame:frame.html"));
    ASSERT_TRUE(host.Engine().WaitForJournal("hook OnLoadingStateChange is_loading=0").has_value());

    // The handler's exception reaches the page, later than V8 would throw it.
    ASSERT_TRUE(host.Addin().Send(Script(u"brelvo.Mevora.dispatchEvent(42);")));
    EXPECT_TRUE(host.WaitForEvent(L"JSDispatch:error:Dispatch event : need string param"));

    // The host's replacements of window.open and window.close act on the real page.
    ASSERT_TRUE(host.Addin().Send(Script(u"window.open('popup.html'); window.close();")));
    EXPECT_TRUE(host.WaitForEvent(L"JSDispatch:windowOpen:popup.html"));
    EXPECT_TRUE(host.WaitForEvent(L"JSDispatch:windowClose"));

    // A frame from another site reaches the add-in as one of the page's own, and goes when the
    // page removes it.
    CStatusServer other(200, "<script>brelvo.Mevora.dispatchEvent('cross-site')</script>");
    const std::wstring otherUrl = other.Url("/frame");
    ASSERT_TRUE(host.Addin().Send(Script(u"const f = document.createElement('iframe'); f.id = 'other'; f.src = '" +
                                         std::u16string(otherUrl.begin(), otherUrl.end()) +
                                         u"'; document.body.appendChild(f);")));
    EXPECT_TRUE(host.WaitForEvent(L"JSDispatch:cross-site"));
    const auto frames = [&] { return Field(host.Engine().Request("state").value_or(""), "frames"); };
    EXPECT_TRUE(BecomesTrue([&] { return frames() == "3"; })) << frames();
    ASSERT_TRUE(host.Addin().Send(Script(u"document.getElementById('other').remove();")));
    EXPECT_TRUE(BecomesTrue([&] { return frames() == "2"; })) << frames();

    // Script dialogs, in their place among the page's bridge calls: the add-in's answers are
    // what the page's script gets.
    ASSERT_TRUE(host.Addin().Send(Script(
        u"brelvo.Mevora.dispatchEvent('asking'); brelvo.Mevora.dispatchEvent('confirmed:' + confirm('Keep it?'));")));
    ASSERT_TRUE(host.WaitForEvent(L"JSDispatch:asking"));
    ASSERT_TRUE(host.WaitForEvent(L"confirm:Keep it?"));
    ASSERT_TRUE(host.Addin().Send(Reply(NsChannel::CMD_JS_DIALOG_REPLY, false, u"")));
    EXPECT_TRUE(host.WaitForEvent(L"JSDispatch:confirmed:false"));
    ASSERT_TRUE(host.Addin().Send(Script(u"brelvo.Mevora.dispatchEvent('prompted:' + prompt('Name?', 'Ann'));")));
    ASSERT_TRUE(host.WaitForEvent(L"prompt:Name?~Ann"));
    ASSERT_TRUE(host.Addin().Send(Reply(NsChannel::CMD_JS_DIALOG_REPLY, true, u"Bob")));
    EXPECT_TRUE(host.WaitForEvent(L"JSDispatch:prompted:Bob"));
    ASSERT_TRUE(host.Addin().Send(Script(u"alert('Saved'); brelvo.Mevora.dispatchEvent('after-alert');")));
    EXPECT_TRUE(host.WaitForEvent(L"alert:Saved"));
    EXPECT_TRUE(host.WaitForEvent(L"JSDispatch:after-alert"));

    // A link to a new window is refused by the host: reported, and the window never asks for its
    // address, though what the page asks for after it arrives.
    const std::wstring popupUrl = other.Url("/popup");
    const std::wstring afterUrl = other.Url("/after");
    ASSERT_TRUE(host.Addin().Send(Script(u"document.getElementById('popup').href = '" +
                                         std::u16string(popupUrl.begin(), popupUrl.end()) +
                                         u"'; brelvo.Mevora.dispatchEvent('link');")));
    ASSERT_TRUE(host.WaitForEvent(L"JSDispatch:link"));
    ASSERT_TRUE(host.Addin().Send(Click(100, 50, true)));
    ASSERT_TRUE(host.Addin().Send(Click(100, 50, false)));
    EXPECT_TRUE(host.WaitForEvent(L"JSDispatch:windowOpen:" + popupUrl));
    EXPECT_TRUE(host.Engine().WaitForJournal("event PopupRefused").has_value());
    ASSERT_TRUE(host.Addin().Send(
        Script(u"const after = document.createElement('iframe'); after.style.top = '400px'; after.src = '" +
               std::u16string(afterUrl.begin(), afterUrl.end()) + u"'; document.body.appendChild(after);")));
    EXPECT_TRUE(other.WaitForRequest("/after"));
    EXPECT_EQ(other.Requests("/popup"), 0u);

    // The file chooser: the add-in's path lands in the input.
    ASSERT_TRUE(host.Addin().Send(Click(20, 140, true)));
    ASSERT_TRUE(host.Addin().Send(Click(20, 140, false)));
    ASSERT_TRUE(host.WaitForEvent(L"fileDialog:dialogMode:0|fileType:.png|fileType:.jpg|"));
    const std::wstring chosen = ZPath(std::string(CHROMIUM_PAGES_DIR) + "/frame.html");
    ASSERT_TRUE(
        host.Addin().Send(Reply(NsChannel::CMD_FILE_DIALOG_REPLY, true, std::u16string(chosen.begin(), chosen.end()))));
    EXPECT_TRUE(host.WaitForEvent(L"JSDispatch:file:frame.html"));

    // A download: the host leaves the choice to a save dialog, which the add-in answers.
    ASSERT_TRUE(host.Addin().Send(Click(300, 50, true)));
    ASSERT_TRUE(host.Addin().Send(Click(300, 50, false)));
    ASSERT_TRUE(host.WaitForEvent(L"fileDialog:dialogMode:3|defFileName:saved.txt|"));
    const std::wstring saved = ZPath("/tmp/cefcompat-saved-" + std::to_string(::GetCurrentProcessId()) + ".txt");
    ASSERT_TRUE(
        host.Addin().Send(Reply(NsChannel::CMD_FILE_DIALOG_REPLY, true, std::u16string(saved.begin(), saved.end()))));
    EXPECT_TRUE(host.Engine().WaitForJournal("event DownloadSaved").has_value());
    char content[64] = {};
    if (FILE* file = ::_wfopen(saved.c_str(), L"rb")) {
        std::fread(content, 1, sizeof(content) - 1, file);
        std::fclose(file);
    }
    EXPECT_STREQ(content, "saved by the page");
    ::DeleteFileW(saved.c_str());

    // The host does not take the question before the page is left: the page is left.
    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(PageUrl("second.html"))));
    EXPECT_TRUE(host.Engine().WaitForJournal("return OnBeforeUnloadDialog value=0").has_value());
    EXPECT_TRUE(host.Engine().WaitForJournal("event JSDialogCallback.Default").has_value());
    EXPECT_TRUE(host.WaitForEvent(L"address:" + PageUrl("second.html")));

    ASSERT_TRUE(host.Addin().Send(NsChannel::CMD_CLOSE));
    EXPECT_EQ(host.Process().WaitForExit(), kExitBrowserClosed);
}

// Nothing an ordinary page does holds back what the add-in gets: a title cut inside an emoji
// (a lone surrogate) and a page that is busy for ever from right after its load both end their
// loads, and the next page still loads.
TEST(ChromiumHost, PageStringsAndBusyPagesHoldNothingBack)
{
    const std::wstring cut = PageUrl("cut.html");
    CChromiumHost host(cut);
    ASSERT_TRUE(host.Addin().WaitForHost());
    ASSERT_TRUE(host.WaitForEvent(L"address:" + cut));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));
    EXPECT_TRUE(host.WaitForCaption(L"Cut \xFFFD " + cut));

    const std::wstring busy = PageUrl("busy.html");
    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(busy)));
    ASSERT_TRUE(host.WaitForEvent(L"address:" + busy));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));
    EXPECT_TRUE(host.WaitForCaption(L"Busy " + busy));

    ASSERT_TRUE(host.Addin().Send(NsChannel::CMD_CLOSE));
    EXPECT_EQ(host.Process().WaitForExit(), kExitBrowserClosed);
}

TEST(ChromiumHost, NavigatesBackAndForwardAndReportsLoadErrors)
{
    const std::wstring first = PageUrl("blocks.html");
    const std::wstring second = PageUrl("second.html");
    CChromiumHost host(first);
    ASSERT_TRUE(host.Addin().WaitForHost());
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));
    EXPECT_EQ(host.Addin().QueryFlag(NsChannel::CMD_CAN_GO_BACK), false);

    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(second)));
    ASSERT_TRUE(host.WaitForEvent(L"address:" + second));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));
    EXPECT_TRUE(host.WaitForPixels({{10, 10, 0x008000}}));
    EXPECT_EQ(host.Addin().QueryFlag(NsChannel::CMD_CAN_GO_BACK), true);
    EXPECT_EQ(host.Addin().QueryFlag(NsChannel::CMD_CAN_GO_FORWARD), false);

    ASSERT_TRUE(host.Addin().Send(NsChannel::CMD_GO_BACK));
    ASSERT_TRUE(host.WaitForEvent(L"address:" + first));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));
    EXPECT_TRUE(host.WaitForPixels({{100, 50, kRed}}));
    EXPECT_EQ(host.Addin().QueryFlag(NsChannel::CMD_CAN_GO_FORWARD), true);

    ASSERT_TRUE(host.Addin().Send(NsChannel::CMD_GO_FORWARD));
    ASSERT_TRUE(host.WaitForEvent(L"address:" + second));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));

    // The status of a document that came over the network is the server's.
    const CStatusServer server(404);
    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(server.Url("/missing"))));
    ASSERT_TRUE(host.WaitForEvent(L"address:" + server.Url("/missing")));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:404"));

    // A file that is not there fails with CEF's code for it, and the error page loads in its
    // place, under its address and with its own history entry.
    const std::wstring missing = PageUrl("missing.html");
    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(missing)));
    ASSERT_TRUE(host.WaitForEvent(L"loadError:net::ERR_FILE_NOT_FOUND"));
    EXPECT_TRUE(host.Engine().WaitForJournal("hook OnLoadError error_code=-6").has_value());
    ASSERT_TRUE(host.WaitForEvent(L"address:" + missing));
    ASSERT_TRUE(host.WaitForEvent(L"loadStart:"));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:0"));
    EXPECT_EQ(host.Addin().QueryUrl(), missing);
    ASSERT_TRUE(host.Addin().Send(NsChannel::CMD_GO_BACK));
    ASSERT_TRUE(host.WaitForEvent(L"address:" + server.Url("/missing")));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:404"));
    EXPECT_EQ(host.Addin().QueryFlag(NsChannel::CMD_CAN_GO_FORWARD), true);

    ASSERT_TRUE(host.Addin().Send(NsChannel::CMD_CLOSE));
    EXPECT_EQ(host.Process().WaitForExit(), kExitBrowserClosed);
}

TEST(ChromiumHost, AChromiumThatDiesIsReportedAndReplacedByTheNextNavigation)
{
    const std::wstring url = PageUrl("blocks.html");
    CChromiumHost host(url);
    ASSERT_TRUE(host.Addin().WaitForHost());
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));
    std::string pid, profile;
    ASSERT_TRUE(host.ChromiumProcess(&pid, &profile));

    ASSERT_TRUE(RunLinux(L"/bin/kill", L"-KILL -- -" + Widen(pid)));
    EXPECT_TRUE(host.Engine().WaitForJournal("hook OnRenderProcessTerminated").has_value());
    EXPECT_TRUE(BecomesTrue([&] { return !Exists(ZPath(profile)); }));

    ASSERT_TRUE(host.Addin().Send(LoadUrlCommand(PageUrl("second.html"))));
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));
    EXPECT_TRUE(host.WaitForPixels({{10, 10, 0x008000}}));
    std::string newPid, newProfile;
    ASSERT_TRUE(host.ChromiumProcess(&newPid, &newProfile));
    EXPECT_NE(newPid, pid);

    ASSERT_TRUE(host.Addin().Send(NsChannel::CMD_CLOSE));
    EXPECT_EQ(host.Process().WaitForExit(), kExitBrowserClosed);
    EXPECT_FALSE(Exists(ZPath(newProfile)));
    EXPECT_FALSE(Exists(L"Z:\\proc\\" + Widen(newPid)));
}

// Nothing but the host reaches its Chromium: no process of Chromium's listens on a port (the
// DevTools protocol runs on a pipe), and its profile is its owner's alone. An address full of
// quotes, spaces, $(), backquotes and ; reaches the page as an address and no shell; and
// nothing of Chromium outlives a host that is killed.
TEST(ChromiumHost, NothingButTheHostReachesItsChromiumAndNothingOutlivesIt)
{
    const std::string marker = TempFile("hostile");
    const std::wstring query = L"?q=a b\\\"c'd;$(touch " + Widen(marker) + L")`touch " + Widen(marker) + L"`;e";
    CChromiumHost host(L"\"" + PageUrl("blocks.html") + query + L"\"");
    ASSERT_TRUE(host.Addin().WaitForHost());
    ASSERT_TRUE(host.WaitForEvent(L"loadEnd:200"));
    EXPECT_TRUE(host.WaitForPixels({{100, 50, kRed}, {300, 50, kGreen}}));
    std::string pid, profile;
    ASSERT_TRUE(host.ChromiumProcess(&pid, &profile));
    ASSERT_TRUE(Exists(ZPath(profile)));

    const std::string probe = ProbeChromium(pid, profile);
    EXPECT_NE(Field(probe, "sockets"), "0") << probe;
    EXPECT_EQ(Field(probe, "listening"), "0") << probe;
    EXPECT_EQ(Field(probe, "mode"), "700") << probe;

    host.Process().Kill();
    EXPECT_TRUE(BecomesTrue([&] { return !Exists(L"Z:\\proc\\" + Widen(pid)); }));
    EXPECT_TRUE(BecomesTrue([&] { return !Exists(ZPath(profile)); }));
    EXPECT_FALSE(Exists(ZPath(marker)));
}

TEST(ChromiumHost, WithoutABrowserToStartThePageSaysSoAndWhereItLooked)
{
    // A path no shell may read: its quotes, spaces, $() and ; stay in the name.
    const std::string marker = TempFile("browser");
    const std::wstring browser =
        L"/nonexistent/chro mium \\\"$(touch " + Widen(marker) + L")\\\";touch " + Widen(marker);
    CChromiumHost host(PageUrl("blocks.html"), L"\"--cefcompat-browser=" + browser + L"\"");
    ASSERT_TRUE(host.Addin().WaitForHost());
    ASSERT_TRUE(host.WaitForEvent(L"browserCreated:"));
    ASSERT_TRUE(host.WaitForEvent(L"loadError:no browser was found"));
    const std::optional<std::string> notice = host.Engine().WaitForJournal("event NoBrowser");
    ASSERT_TRUE(notice.has_value());
    const std::string text = DecodeJournalText(Field(*notice, "notice"));
    EXPECT_NE(text.find("Looked for: /nonexistent/chro mium \"$(touch " + marker + ")\";touch"), std::string::npos)
        << text;
    EXPECT_NE(text.find("--cefcompat-browser=PATH"), std::string::npos) << text;
    // The notice's lines, in red, under the address bar.
    EXPECT_TRUE(BecomesTrue([&] {
        const std::optional<CFrame> frame = host.Addin().CurrentFrame();
        int red = 0;
        for (int y = 30; frame && !frame->pixels.empty() && y < 90; ++y)
            for (int x = 8; x < 300; ++x)
                red += Near(frame->PixelAt(x, y), 0xDC1E1E) ? 1 : 0;
        return red > 50;
    }));

    ASSERT_TRUE(host.Addin().Send(NsChannel::CMD_CLOSE));
    EXPECT_EQ(host.Process().WaitForExit(), kExitBrowserClosed);
    EXPECT_FALSE(Exists(ZPath(marker)));
}
