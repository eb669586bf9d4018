#include "engines/frame_decoder.h"

#include <wincrypt.h>

namespace cefcompat {
namespace {

using Microsoft::WRL::ComPtr;

// Frames larger than this on a side are refused before anything is allocated for them.
constexpr int kMaxSide = 8192;
// Base64 of a frame larger than this is refused before it is decoded.
constexpr size_t kMaxBase64 = 64 * 1024 * 1024;

bool FromBase64(const std::string& text, std::vector<uint8_t>* bytes) {
  if (text.empty() || text.size() > kMaxBase64) return false;
  DWORD size = 0;
  if (!CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr,
                            &size, nullptr, nullptr)) {
    return false;
  }
  bytes->resize(size);
  return CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                              bytes->data(), &size, nullptr, nullptr) != FALSE;
}

}  // namespace

CFrameDecoder::CFrameDecoder() {
  m_comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  if (m_comReady) {
    CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_factory));
  }
}

CFrameDecoder::~CFrameDecoder() {
  m_factory.Reset();
  if (m_comReady) CoUninitialize();
}

bool CFrameDecoder::Decode(const std::string& base64, int width, int height, std::vector<uint8_t>* bgra) {
  std::vector<uint8_t> bytes;
  if (!m_factory || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
      !FromBase64(base64, &bytes)) {
    return false;
  }
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  UINT frameWidth = 0;
  UINT frameHeight = 0;
  if (FAILED(m_factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()))) ||
      FAILED(m_factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&frameWidth, &frameHeight)) ||
      frameWidth == 0 || frameHeight == 0 || frameWidth > kMaxSide || frameHeight > kMaxSide ||
      FAILED(m_factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
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
  if (FAILED(source->CopyPixels(nullptr, stride, static_cast<UINT>(bgra->size()), bgra->data()))) return false;
  // Pages are opaque; a PNG from Chromium may still carry alpha below 255.
  for (size_t i = 3; i < bgra->size(); i += 4) (*bgra)[i] = 255;
  return true;
}

}  // namespace cefcompat
