// Pictures decoded by Windows Imaging Component, the decoders Windows itself
// shows pictures with, from the bytes the opener read.
#include <windows.h>
// After windows.h, which it builds on.
#include <wincodec.h>

#include <algorithm>

#include "image/Orientation.h"
#include "opener/Decode.h"
#include "opener/Text.h"

namespace {

// A COM object held for the scope it is made in.
template <class T>
struct Held {
    T* object = nullptr;
    ~Held() {
        if (object) {
            object->Release();
        }
    }
    T* operator->() const { return object; }
    T** operator&() { return &object; }
};

// A number from a metadata query, such as a GIF's canvas width, or none.
bool queryNumber(IWICMetadataQueryReader* reader, const wchar_t* name, UINT& value) {
    PROPVARIANT found;
    PropVariantInit(&found);
    const bool known =
        reader && SUCCEEDED(reader->GetMetadataByName(name, &found)) && found.vt == VT_UI2;
    if (known) {
        value = found.uiVal;
    }
    PropVariantClear(&found);
    return known;
}

[[noreturn]] void refuse(const std::wstring& text) {
    throw Refusal(utf8(text));
}

}  // namespace

void startDecoder(const std::string&) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

// The first frame, in sRGB where it carries a colour profile, on its canvas
// where it has one (a GIF's frame may cover part of it), upright.
Picture decode(const std::vector<std::uint8_t>& bytes, const std::string& utf8Name) {
    const std::wstring name = wide(utf8Name);
    Held<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory)))) {
        refuse(L"Windows Imaging Component is missing here, which orvalis reads pictures with.");
    }
    Held<IWICStream> stream;
    Held<IWICBitmapDecoder> decoder;
    Held<IWICBitmapFrameDecode> frame;
    if (bytes.empty() || FAILED(factory->CreateStream(&stream)) ||
        FAILED(
            stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), DWORD(bytes.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.object, nullptr,
                                                WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame))) {
        refuse(L"\u201c" + name + L"\u201d is no picture Windows can read.");
    }

    // Its colours in sRGB: a picture with a colour profile (AdobeRGB, say) is
    // converted, as browsers do; others are taken as sRGB already.
    Held<IWICBitmapSource> source;
    frame->QueryInterface(IID_PPV_ARGS(&source));
    Held<IWICColorContext> profile, sRGB;
    UINT profiles = 0;
    Held<IWICColorTransform> transform;
    if (SUCCEEDED(factory->CreateColorContext(&profile)) &&
        SUCCEEDED(factory->CreateColorContext(&sRGB)) &&
        SUCCEEDED(frame->GetColorContexts(1, &profile.object, &profiles)) && profiles > 0 &&
        SUCCEEDED(sRGB->InitializeFromExifColorSpace(1)) &&
        SUCCEEDED(factory->CreateColorTransformer(&transform)) &&
        SUCCEEDED(transform->Initialize(source.object, profile.object, sRGB.object,
                                        GUID_WICPixelFormat32bppBGRA))) {
        source->Release();
        transform->QueryInterface(IID_PPV_ARGS(&source.object));
    }
    Held<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    if (FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(source.object, GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0) {
        refuse(L"\u201c" + name + L"\u201d is no picture Windows can read.");
    }
    // 256 megapixels, a gigabyte: more than a square of 512 needs by far.
    const auto refuseIfTooLarge = [&](UINT w, UINT h) {
        if (std::uint64_t(w) * h > 1u << 28) {
            refuse(L"\u201c" + name + L"\u201d is too large for orvalis: " + std::to_wstring(w) +
                   L" \u00d7 " + std::to_wstring(h) + L" pixels, of 256 megapixels at most.");
        }
    };
    refuseIfTooLarge(width, height);
    std::vector<std::uint8_t> frameBytes(std::size_t(width) * height * 4);
    if (FAILED(converter->CopyPixels(nullptr, width * 4, UINT(frameBytes.size()),
                                     frameBytes.data()))) {
        refuse(L"\u201c" + name + L"\u201d is damaged: Windows cannot read its pixels.");
    }
    // Upright, as the camera that took a photo says it was held: its EXIF
    // orientation, read from the file (not every WIC reads it).
    const int orientation = exifOrientation(bytes.data(), bytes.size());
    if (orientation > 1) {
        int turnedWidth = int(width), turnedHeight = int(height);
        frameBytes = upright(frameBytes.data(), turnedWidth, turnedHeight, orientation);
        width = UINT(turnedWidth);
        height = UINT(turnedHeight);
    }

    // The canvas and the frame's place on it, where the picture says.
    Held<IWICMetadataQueryReader> whole, part;
    decoder->GetMetadataQueryReader(&whole);
    frame->GetMetadataQueryReader(&part);
    UINT left = 0, top = 0, canvasWidth = width, canvasHeight = height;
    // A canvas of 0 x 0, which some GIF writers put, is taken as the frame's
    // own, as browsers and ImageMagick take it.
    UINT saidWidth = 0, saidHeight = 0;
    if (queryNumber(whole.object, L"/logscrdesc/Width", saidWidth) &&
        queryNumber(whole.object, L"/logscrdesc/Height", saidHeight) && saidWidth > 0 &&
        saidHeight > 0) {
        canvasWidth = saidWidth;
        canvasHeight = saidHeight;
        queryNumber(part.object, L"/imgdesc/Left", left);
        queryNumber(part.object, L"/imgdesc/Top", top);
    }
    refuseIfTooLarge(canvasWidth, canvasHeight);
    Picture picture{int(canvasWidth), int(canvasHeight), {}};
    picture.pixels.assign(std::size_t(canvasWidth) * canvasHeight * 4, 0);
    for (UINT y = 0; y < height && top + y < canvasHeight; ++y) {
        for (UINT x = 0; x < width && left + x < canvasWidth; ++x) {
            const std::size_t to = (std::size_t(top + y) * canvasWidth + left + x) * 4;
            std::copy_n(&frameBytes[(std::size_t(y) * width + x) * 4], 4, &picture.pixels[to]);
        }
    }
    return picture;
}
