#include "engines/frame_decoder.h"

#include <algorithm>

#include "runtime/log.h"

namespace cefcompat {
namespace {

using Microsoft::WRL::ComPtr;

// Base64 of a frame larger than this is refused before it is decoded.
constexpr size_t kMaxBase64 = 64 * 1024 * 1024;
// More decoding threads than this only take cores from Chromium, which renders the frames.
constexpr unsigned kMaxThreads = 3;
// Frames that may wait for a free thread; beyond them the oldest is dropped.
constexpr size_t kMaxWaiting = 2;

} // namespace

CFrameDecoder::CFrameDecoder(FrameCodec codec) : m_codec(codec)
{
    if (m_codec != FrameCodec::Wic)
        return;
    m_comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (m_comReady) {
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_factory));
    }
}

CFrameDecoder::~CFrameDecoder()
{
    m_factory.Reset();
    if (m_comReady)
        CoUninitialize();
}

bool CFrameDecoder::Decode(const std::string& base64, int width, int height, std::vector<uint8_t>* bgra,
                           std::string* why)
{
    if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide) {
        *why = "no sane view size";
        return false;
    }
    if (!DecodeBase64(base64, kMaxBase64, &m_bytes)) {
        *why = "not base64, or too long";
        return false;
    }
    if (m_codec == FrameCodec::Wic) {
        if (DecodeWithWic(width, height, bgra))
            return true;
        *why = "not an image WIC reads";
        return false;
    }
    bgra->resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    return m_jpeg.Decode(m_bytes.data(), m_bytes.size(), width, height, bgra->data(), why);
}

bool CFrameDecoder::DecodeWithWic(int width, int height, std::vector<uint8_t>* bgra)
{
    if (!m_factory)
        return false;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    UINT frameWidth = 0;
    UINT frameHeight = 0;
    if (FAILED(m_factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(m_bytes.data(), static_cast<DWORD>(m_bytes.size()))) ||
        FAILED(m_factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&frameWidth, &frameHeight)) || frameWidth == 0 ||
        frameHeight == 0 || frameWidth > kMaxFrameSide || frameHeight > kMaxFrameSide ||
        FAILED(m_factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
        return false;
    }
    ComPtr<IWICBitmapSource> source = converter;
    if (frameWidth != static_cast<UINT>(width) || frameHeight != static_cast<UINT>(height)) {
        ComPtr<IWICBitmapScaler> scaler;
        if (FAILED(m_factory->CreateBitmapScaler(&scaler)) ||
            FAILED(scaler->Initialize(converter.Get(), static_cast<UINT>(width), static_cast<UINT>(height),
                                      WICBitmapInterpolationModeLinear))) {
            return false;
        }
        source = scaler;
    }
    const UINT stride = static_cast<UINT>(width) * 4;
    bgra->resize(static_cast<size_t>(stride) * static_cast<size_t>(height));
    if (FAILED(source->CopyPixels(nullptr, stride, static_cast<UINT>(bgra->size()), bgra->data())))
        return false;
    // Pages are opaque; a PNG from Chromium may still carry alpha below 255 (a JPEG has none,
    // and its conversion already gives 255).
    GUID container = {};
    if (FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatJpeg) {
        for (size_t i = 3; i < bgra->size(); i += 4)
            (*bgra)[i] = 255;
    }
    return true;
}

CFrameDecoderPool::CFrameDecoderPool(FrameCodec codec, unsigned threads, FrameFn onFrame)
    : m_codec(codec),
      m_onFrame(std::move(onFrame))
{
    for (unsigned i = 0; i < std::max(threads, 1u); ++i)
        m_threads.emplace_back([this]() { Work(); });
}

CFrameDecoderPool::~CFrameDecoderPool()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_waiting.clear();
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

unsigned CFrameDecoderPool::DefaultThreads(FrameCodec codec)
{
    if (codec == FrameCodec::LibJpegTurbo)
        return 1;
    return std::min(std::max(std::thread::hardware_concurrency(), 1u), kMaxThreads);
}

void CFrameDecoderPool::Submit(std::string base64, int width, int height)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waiting.push_back(CJob{std::move(base64), width, height, ++m_submitted});
        if (m_waiting.size() > kMaxWaiting)
            m_waiting.pop_front();
    }
    m_wake.notify_one();
}

void CFrameDecoderPool::Work()
{
    CFrameDecoder decoder(m_codec);
    std::vector<uint8_t> bgra;
    std::string why;
    for (;;) {
        CJob job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this]() { return m_stopping || !m_waiting.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        if (decoder.Decode(job.base64, job.width, job.height, &bgra, &why))
            HandOn(job, bgra);
        else
            LogMessage(LOGSEVERITY_WARNING, "Screencast frame dropped: " + why);
    }
}

void CFrameDecoderPool::HandOn(const CJob& job, std::vector<uint8_t>& bgra)
{
    std::lock_guard<std::mutex> lock(m_handOverMutex);
    if (job.sequence <= m_handedOn)
        return;
    m_handedOn = job.sequence;
    m_onFrame(bgra, job.width, job.height);
}

} // namespace cefcompat
