// One page target's screencast as a picture: frames (acked by the caller) are decoded on
// threads of their own and handed, in order, to the UI thread, where each is shown; only where
// decoding or the UI thread falls two frames behind is the oldest lost. The browser's page and
// the developer tools each have one.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engines/frame_decoder.h"

namespace cefcompat {

class CScreencast {
public:
    // Sends a command on the target's session. UI thread.
    using CommandFn = std::function<void(const std::string& method, nlohmann::json params)>;
    // Runs |task| on the UI thread later. Any thread.
    using PostFn = std::function<void(std::function<void()> task)>;
    // UI thread.
    using ShowFn = std::function<void(const void* bgra, int width, int height)>;

    CScreencast(bool pngFrames, unsigned threads, CommandFn command, PostFn post, ShowFn show);
    ~CScreencast();
    CScreencast(const CScreencast&) = delete;
    CScreencast& operator=(const CScreencast&) = delete;

    // UI thread. The size frames are decoded to.
    void SetSize(int width, int height);
    // UI thread, the target attached: its viewport takes the size and, unless |paused|, the
    // screencast starts again with it (a running one keeps the size limits it started with).
    void ApplySize(bool paused);
    void Start();
    void Stop();
    // UI thread: shows the frame shown last again, if there is one.
    void ShowAgain();

    // Connection thread: the parameters of a Page.screencastFrame; its data is taken.
    void Take(nlohmann::json& params);

    // Any thread: frames taken, and frames shown (fewer where newer ones overtook them).
    uint64_t Taken() const { return m_taken; }
    uint64_t Shown() const { return m_shownCount; }

private:
    struct CPixels {
        std::vector<uint8_t> bgra;
        int width = 0;
        int height = 0;
    };

    // A decoding thread.
    void OnDecoded(std::vector<uint8_t>& bgra, int width, int height);
    // Any thread.
    void PostShow();
    // UI thread: shows the oldest decoded frame, and posts itself again for the next.
    void ShowNext();

    const bool m_png;
    const CommandFn m_command;
    const PostFn m_post;
    const ShowFn m_show;
    std::shared_ptr<bool> m_alive; // tasks posted to the UI thread run only while it exists
    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};
    // The hand-over between the decoding threads and the UI thread.
    std::mutex m_mutex;
    std::deque<CPixels> m_ready; // decoded, not shown yet; oldest first
    std::vector<uint8_t> m_spare; // a buffer shown before, for the decoding thread
    bool m_showPosted = false;
    CPixels m_shown; // UI thread
    std::atomic<uint64_t> m_taken{0};
    std::atomic<uint64_t> m_shownCount{0};
    // After the hand-over's members: its threads end before those go.
    CFrameDecoderPool m_decoders;
};

} // namespace cefcompat
