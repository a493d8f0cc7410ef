// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures for the preview through the Windows Imaging Component: the bytes
// read of a file decoded in memory (JPEG, PNG, GIF, BMP, TIFF and whatever
// else the system's codecs read) into a bitmap that fits the box.

#include "win32/PreviewDialog.h"

#include <objbase.h>
#include <wincodec.h>

#include <algorithm>

namespace sarvik::win32 {

namespace {

template <typename T> class Com {
public:
    Com() = default;
    ~Com()
    {
        if (m_p != nullptr)
            m_p->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** put() { return &m_p; }
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }

private:
    T* m_p = nullptr;
};

} // namespace

PreviewPicture decodePicture(const std::vector<std::byte>& bytes, int maxWidth, int maxHeight)
{
    PreviewPicture picture;
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu || maxWidth <= 0 || maxHeight <= 0)
        return picture;
    Com<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.put()))))
        return picture;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    auto* data = reinterpret_cast<BYTE*>(const_cast<std::byte*>(bytes.data()));
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(data, static_cast<DWORD>(bytes.size()))) ||
        FAILED(
            factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&width, &height)) || width == 0 ||
        height == 0)
        return picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    // Shrunk to fit, never enlarged.
    const double scale =
        std::min({1.0, static_cast<double>(maxWidth) / width, static_cast<double>(maxHeight) / height});
    const UINT shownWidth = std::max(1u, static_cast<UINT>(width * scale));
    const UINT shownHeight = std::max(1u, static_cast<UINT>(height * scale));
    Com<IWICBitmapScaler> scaler;
    Com<IWICFormatConverter> converter;
    if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
        FAILED(scaler->Initialize(frame.get(), shownWidth, shownHeight, WICBitmapInterpolationModeFant)) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(scaler.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return picture;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(shownWidth);
    info.bmiHeader.biHeight = -static_cast<LONG>(shownHeight); // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (bitmap == nullptr)
        return picture;
    const UINT stride = shownWidth * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * shownHeight, static_cast<BYTE*>(pixels)))) {
        ::DeleteObject(bitmap);
        return picture;
    }
    picture.bitmap = bitmap;
    return picture;
}

} // namespace sarvik::win32
