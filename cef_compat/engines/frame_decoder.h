// Screencast frames, base64 JPEG or PNG, decoded with WIC into opaque top-down BGRA at a
// given size (scaled when the frame was captured at another). One decoder per thread: it
// keeps that thread's COM apartment and WIC factory.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <string>
#include <vector>

#include <wrl/client.h>

namespace cefcompat {

class CFrameDecoder {
 public:
  CFrameDecoder();
  ~CFrameDecoder();

  CFrameDecoder(const CFrameDecoder&) = delete;
  CFrameDecoder& operator=(const CFrameDecoder&) = delete;

  // False when the data is not an image WIC reads, or the size is not sane.
  bool Decode(const std::string& base64, int width, int height, std::vector<uint8_t>* bgra);

 private:
  bool m_comReady = false;
  Microsoft::WRL::ComPtr<IWICImagingFactory> m_factory;
};

}  // namespace cefcompat
