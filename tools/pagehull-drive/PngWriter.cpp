#include "PngWriter.h"

#include <windows.h>
#include <wincodec.h>

#include <wrl/client.h>

namespace {

using Microsoft::WRL::ComPtr;

// COM for the calling thread while it lives; a thread that already has it keeps it as it is.
class CComScope {
public:
    CComScope() : m_result(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~CComScope()
    {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    HRESULT m_result;
};

// Rows of blue, green and red: WIC's 24-bit BGR, which PNG stores as 8-bit RGB.
std::vector<uint8_t> BgrRows(uint32_t width, uint32_t height, const uint8_t* bgra)
{
    std::vector<uint8_t> rows;
    rows.reserve(static_cast<size_t>(height) * 3 * width);
    const uint8_t* pixel = bgra;
    for (size_t i = 0; i < static_cast<size_t>(height) * width; ++i, pixel += 4)
        rows.insert(rows.end(), pixel, pixel + 3);
    return rows;
}

// Rows as they are, unfiltered: quick to write, and what readers of the frames expect.
bool SetNoFilter(IPropertyBag2* options)
{
    PROPBAG2 option = {};
    option.pstrName = const_cast<LPOLESTR>(L"FilterOption");
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_UI1;
    value.bVal = WICPngFilterNone;
    return SUCCEEDED(options->Write(1, &option, &value));
}

std::vector<uint8_t> StreamBytes(IStream* stream)
{
    STATSTG stat = {};
    const LARGE_INTEGER start = {};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart > 0x7FFFFFFF ||
        FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
        return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
    ULONG read = 0;
    if (FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size())
        return {};
    return bytes;
}

} // namespace

std::vector<uint8_t> EncodePngFromBgra(int32_t width, int32_t height, const uint8_t* bgra)
{
    if (width <= 0 || height <= 0 || bgra == nullptr)
        return {};
    const auto w = static_cast<uint32_t>(width);
    const auto h = static_cast<uint32_t>(height);
    const CComScope com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) ||
        FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, &options)) || !SetNoFilter(options.Get()) ||
        FAILED(frame->Initialize(options.Get())) || FAILED(frame->SetSize(w, h)) ||
        FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR)
        return {};
    std::vector<uint8_t> rows = BgrRows(w, h, bgra);
    if (FAILED(frame->WritePixels(h, 3 * w, static_cast<UINT>(rows.size()), rows.data())) || FAILED(frame->Commit()) ||
        FAILED(encoder->Commit()))
        return {};
    return StreamBytes(stream.Get());
}
