// Screencast frames, base64 JPEG or PNG, decoded into opaque top-down BGRA at the view's size:
// JPEG by libjpeg-turbo, PNG (and, for comparison, JPEG) by WIC, which scales a frame captured
// at another size.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <wrl/client.h>

#include "engines/jpeg_frame.h"

namespace cefcompat {

enum class FrameCodec { LibJpegTurbo, Wic };

// One decoder per thread: a WIC one keeps that thread's COM apartment and WIC factory.
class CFrameDecoder {
public:
    explicit CFrameDecoder(FrameCodec codec);
    ~CFrameDecoder();

    CFrameDecoder(const CFrameDecoder&) = delete;
    CFrameDecoder& operator=(const CFrameDecoder&) = delete;

    // False, with the reason in |why|, when the data is not an image this codec reads, or the
    // size is not sane. |bgra| keeps its memory from one frame to the next.
    bool Decode(const std::string& base64, int width, int height, std::vector<uint8_t>* bgra, std::string* why);

private:
    bool DecodeWithWic(int width, int height, std::vector<uint8_t>* bgra);

    const FrameCodec m_codec;
    std::vector<uint8_t> m_bytes; // the frame's file, kept for the next one
    CJpegDecoder m_jpeg;
    bool m_comReady = false;
    Microsoft::WRL::ComPtr<IWICImagingFactory> m_factory;
};

// Frames decoded on a few threads, each with its own decoder, so that the stream goes on
// while a frame is decoded. At most two frames wait for a free thread, the oldest making way
// for a newer one: Chromium often sends two frames together (one held back, captured tens of
// milliseconds before the other), and each is a picture of its own. Decoded frames reach the
// handler in the order submitted; one that finishes after a newer one has been handed on is
// dropped.
class CFrameDecoderPool {
public:
    // Runs on a decoding thread, never for two frames at once. It takes the pixels and may
    // leave a buffer it is done with in their place, which the thread decodes the next frame
    // into: frames then cost no allocation.
    using FrameFn = std::function<void(std::vector<uint8_t>& bgra, int width, int height)>;

    CFrameDecoderPool(FrameCodec codec, unsigned threads, FrameFn onFrame);
    // Drops the waiting frame and waits for the frames being decoded to be handed on or dropped.
    ~CFrameDecoderPool();

    CFrameDecoderPool(const CFrameDecoderPool&) = delete;
    CFrameDecoderPool& operator=(const CFrameDecoderPool&) = delete;

    // Any thread.
    void Submit(std::string base64, int width, int height);

    // Threads for |codec|. libjpeg-turbo decodes a frame in a few milliseconds, which one thread
    // keeps up with; a second would only let one frame overtake another, and the overtaken one
    // is lost. WIC takes tens of milliseconds: as many as help on this machine, since decoding
    // competes with Chromium for the cores.
    static unsigned DefaultThreads(FrameCodec codec);

private:
    struct CJob {
        std::string base64;
        int width = 0;
        int height = 0;
        uint64_t sequence = 0;
    };

    void Work();
    void HandOn(const CJob& job, std::vector<uint8_t>& bgra);

    const FrameCodec m_codec;
    const FrameFn m_onFrame;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<CJob> m_waiting; // oldest first
    uint64_t m_submitted = 0;
    bool m_stopping = false;
    // Held while a frame is handed on, which keeps the hand-overs in order.
    std::mutex m_handOverMutex;
    uint64_t m_handedOn = 0;
    std::vector<std::thread> m_threads;
};

} // namespace cefcompat
