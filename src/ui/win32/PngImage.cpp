#include "ui/win32/PngImage.h"

#include <wincodec.h>

#include "platform/win32/Owned.h"

namespace sonimo {

HBITMAP loadPngResource(HINSTANCE instance, int id, int width, int height) {
    HRSRC info = FindResourceW(instance, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_RCDATA));
    HGLOBAL data = info ? LoadResource(instance, info) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    const DWORD size = info ? SizeofResource(instance, info) : 0;
    if (!bytes || size == 0) return nullptr;
    // COM may not be initialised on this thread (tests); WIC needs it only for the call.
    const HRESULT co = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HBITMAP result = nullptr;
    {
        ComPtr<IWICImagingFactory> factory;
        ComPtr<IWICStream> stream;
        ComPtr<IWICBitmapDecoder> decoder;
        ComPtr<IWICBitmapFrameDecode> frame;
        ComPtr<IWICFormatConverter> converter;
        ComPtr<IWICBitmapScaler> scaler;
        UINT w = 0, h = 0;
        IWICBitmapSource* source = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory, factory.putVoid())) &&
            SUCCEEDED(factory->CreateStream(stream.put())) &&
            SUCCEEDED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size)) &&
            SUCCEEDED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                       decoder.put())) &&
            SUCCEEDED(decoder->GetFrame(0, frame.put())) &&
            SUCCEEDED(factory->CreateFormatConverter(converter.put())) &&
            SUCCEEDED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA,
                                            WICBitmapDitherTypeNone, nullptr, 0,
                                            WICBitmapPaletteTypeCustom)) &&
            SUCCEEDED(converter->GetSize(&w, &h))) {
            source = converter.get();
            if (width > 0 && height > 0 &&
                (static_cast<UINT>(width) != w || static_cast<UINT>(height) != h) &&
                SUCCEEDED(factory->CreateBitmapScaler(scaler.put())) &&
                SUCCEEDED(
                    scaler->Initialize(converter.get(), width, height, WICBitmapInterpolationModeFant))) {
                source = scaler.get();
                w = width;
                h = height;
            }
            BITMAPINFO bi{};
            bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            bi.bmiHeader.biWidth = static_cast<LONG>(w);
            bi.bmiHeader.biHeight = -static_cast<LONG>(h);
            bi.bmiHeader.biPlanes = 1;
            bi.bmiHeader.biBitCount = 32;
            void* bits = nullptr;
            OwnedBitmap bmp(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
            if (bmp && SUCCEEDED(source->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(bits))))
                result = bmp.release();
        }
    }
    if (SUCCEEDED(co)) CoUninitialize();
    return result;
}

} // namespace sonimo
