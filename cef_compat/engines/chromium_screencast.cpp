#include "engines/chromium_screencast.h"

#include <string>
#include <utility>

namespace cefcompat {
namespace {

constexpr int kJpegQuality = 80;

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
        // The decoding thread gets back a buffer shown before or never shown, to decode into.
        std::swap(m_latest.bgra, bgra);
        m_latest.width = width;
        m_latest.height = height;
        m_latestIsNew = true;
        post = !std::exchange(m_showPosted, true);
    }
    if (!post)
        return;
    std::weak_ptr<bool> alive = m_alive;
    m_post([this, alive]() {
        if (alive.lock())
            ShowLatest();
    });
}

void CScreencast::ShowLatest()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_showPosted = false;
        if (!std::exchange(m_latestIsNew, false))
            return;
        std::swap(m_shown, m_latest);
    }
    ++m_shownCount;
    ShowAgain();
}

void CScreencast::ShowAgain()
{
    if (!m_shown.bgra.empty())
        m_show(m_shown.bgra.data(), m_shown.width, m_shown.height);
}

} // namespace cefcompat
