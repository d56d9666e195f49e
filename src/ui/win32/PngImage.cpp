#include "ui/win32/PngImage.h"

#include <wincodec.h>

namespace sonimo {

namespace {

template <class T> struct Com {
    T* p = nullptr;
    ~Com() {
        if (p) p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

} // namespace

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
        Com<IWICImagingFactory> factory;
        Com<IWICStream> stream;
        Com<IWICBitmapDecoder> decoder;
        Com<IWICBitmapFrameDecode> frame;
        Com<IWICFormatConverter> converter;
        Com<IWICBitmapScaler> scaler;
        UINT w = 0, h = 0;
        IWICBitmapSource* source = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))) &&
            SUCCEEDED(factory->CreateStream(&stream)) &&
            SUCCEEDED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size)) &&
            SUCCEEDED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand,
                                                       &decoder)) &&
            SUCCEEDED(decoder->GetFrame(0, &frame)) &&
            SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
            SUCCEEDED(converter->Initialize(frame.p, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                            nullptr, 0, WICBitmapPaletteTypeCustom)) &&
            SUCCEEDED(converter->GetSize(&w, &h))) {
            source = converter.p;
            if (width > 0 && height > 0 &&
                (static_cast<UINT>(width) != w || static_cast<UINT>(height) != h) &&
                SUCCEEDED(factory->CreateBitmapScaler(&scaler)) &&
                SUCCEEDED(scaler->Initialize(converter.p, width, height, WICBitmapInterpolationModeFant))) {
                source = scaler.p;
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
            HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
            if (bmp && SUCCEEDED(source->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(bits))))
                result = bmp;
            else if (bmp)
                DeleteObject(bmp);
        }
    }
    if (SUCCEEDED(co)) CoUninitialize();
    return result;
}

} // namespace sonimo
