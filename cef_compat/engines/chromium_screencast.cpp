#include "engines/chromium_screencast.h"

#include <string>
#include <utility>

namespace cefcompat {
namespace {

constexpr int kJpegQuality = 80;
// Decoded frames that may wait for the UI thread; beyond them the oldest is dropped.
constexpr size_t kMaxReady = 2;

} // namespace

CScreencast::CScreencast(bool pngFrames, unsigned threads, CommandFn command, PostFn post, ShowFn show)
    : m_png(pngFrames),
      m_command(std::move(command)),
      m_post(std::move(post)),
      m_show(std::move(show)),
      m_alive(std::make_shared<bool>(true)),
      m_decoders(pngFrames ? FrameCodec::Wic : FrameCodec::LibJpegTurbo, threads,
                 [this](std::vector<uint8_t>& bgra, int width, int height) { OnDecoded(bgra, width, height); })
{
}

CScreencast::~CScreencast() = default;

void CScreencast::SetSize(int width, int height)
{
    m_width = width;
    m_height = height;
}

void CScreencast::ApplySize(bool paused)
{
    m_command("Emulation.setDeviceMetricsOverride",
              {{"width", m_width.load()}, {"height", m_height.load()}, {"deviceScaleFactor", 1}, {"mobile", false}});
    Stop();
    if (!paused)
        Start();
}

void CScreencast::Start()
{
    nlohmann::json params = {{"format", m_png ? "png" : "jpeg"},
                             {"maxWidth", m_width.load()},
                             {"maxHeight", m_height.load()},
                             {"everyNthFrame", 1}};
    if (!m_png)
        params["quality"] = kJpegQuality;
    m_command("Page.startScreencast", params);
}

void CScreencast::Stop()
{
    m_command("Page.stopScreencast", nlohmann::json::object());
}

void CScreencast::Take(nlohmann::json& params)
{
    auto data = params.find("data");
    if (data == params.end() || !data->is_string())
        return;
    ++m_taken;
    m_decoders.Submit(std::move(data->get_ref<std::string&>()), m_width, m_height);
}

void CScreencast::OnDecoded(std::vector<uint8_t>& bgra, int width, int height)
{
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ready.push_back(CPixels{std::move(bgra), width, height});
        // The decoding thread gets back a buffer to decode into, one shown before or one never
        // shown, so that frames seldom cost an allocation.
        if (m_ready.size() > kMaxReady) {
            bgra = std::move(m_ready.front().bgra);
            m_ready.pop_front();
        } else {
            bgra = std::exchange(m_spare, {});
        }
        post = !std::exchange(m_showPosted, true);
    }
    if (post)
        PostShow();
}

void CScreencast::PostShow()
{
    std::weak_ptr<bool> alive = m_alive;
    m_post([this, alive]() {
        if (alive.lock())
            ShowNext();
    });
}

void CScreencast::ShowNext()
{
    bool more = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ready.empty()) {
            m_showPosted = false;
            return;
        }
        std::swap(m_shown, m_ready.front());
        m_spare = std::move(m_ready.front().bgra);
        m_ready.pop_front();
        more = !m_ready.empty();
        m_showPosted = more;
    }
    ++m_shownCount;
    ShowAgain();
    // One frame a task: the add-in may take this one before the next replaces it.
    if (more)
        PostShow();
}

void CScreencast::ShowAgain()
{
    if (!m_shown.bgra.empty())
        m_show(m_shown.bgra.data(), m_shown.width, m_shown.height);
}

} // namespace cefcompat
