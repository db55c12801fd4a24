#include "platform/win32/form_pictures.h"

#include <wincodec.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "platform/form_layout.h"
#include "platform/picture_fitting.h"

namespace ombrix {
namespace {

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComOwner = std::unique_ptr<Interface, ComReleaser>;

// The object a creating call hands out, owned; empty when the call fails.
template <typename Interface, typename Call>
ComOwner<Interface> Created(Call&& call) {
    Interface* raw = nullptr;
    if (FAILED(call(&raw))) {
        if (raw) {
            raw->Release();
        }
        return {};
    }
    return ComOwner<Interface>(raw);
}

// COM while the scope lasts; balanced only when this scope was the one that started it.
class ComScope {
  public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT result_;
};

std::optional<std::span<const std::uint8_t>> ResourceBytes(HINSTANCE instance, int resource) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(resource), RT_RCDATA);
    if (!found) {
        return std::nullopt;
    }
    HGLOBAL loaded = LoadResource(instance, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        return std::nullopt;
    }
    return std::span(static_cast<const std::uint8_t*>(data), SizeofResource(instance, found));
}

// The picture file as premultiplied blue-green-red-alpha pixels, which read as 0xAARRGGBB.
std::optional<PixelImage> Decode(IWICImagingFactory* factory, std::span<const std::uint8_t> file) {
    if (!factory) {
        return std::nullopt;
    }
    const auto stream =
        Created<IWICStream>([&](IWICStream** out) { return factory->CreateStream(out); });
    if (!stream || FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(file.data()),
                                                       static_cast<DWORD>(file.size())))) {
        return std::nullopt;
    }
    const auto decoder = Created<IWICBitmapDecoder>([&](IWICBitmapDecoder** out) {
        return factory->CreateDecoderFromStream(stream.get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, out);
    });
    const auto frame = decoder ? Created<IWICBitmapFrameDecode>([&](IWICBitmapFrameDecode** out) {
        return decoder->GetFrame(0, out);
    })
                               : nullptr;
    const auto converter = Created<IWICFormatConverter>(
        [&](IWICFormatConverter** out) { return factory->CreateFormatConverter(out); });
    UINT width = 0;
    UINT height = 0;
    if (!frame || !converter ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 || width > 4096 ||
        height > 4096) {
        return std::nullopt;
    }
    PixelImage image{static_cast<int>(width), static_cast<int>(height),
                     std::vector<std::uint32_t>(std::size_t{width} * height)};
    if (FAILED(converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                     reinterpret_cast<BYTE*>(image.pixels.data())))) {
        return std::nullopt;
    }
    return image;
}

// A top-down DIB section of 24 or 32 bits holding the pixels exactly.
std::optional<PictureImage> ToBitmap(const PixelImage& image, int bitsPerPixel, bool alpha) {
    const int bits = bitsPerPixel == 24 ? 24 : 32;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP handle = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!handle || !pixels) {
        if (handle) {
            DeleteObject(handle);
        }
        return std::nullopt;
    }
    auto* out = static_cast<std::uint8_t*>(pixels);
    const std::size_t stride = (static_cast<std::size_t>(image.width) * bits / 8 + 3) & ~3u;
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* row = out + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t pixel = image.at(x, y);
            if (bits == 32) {
                std::memcpy(row + 4 * x, &pixel, 4);
            } else {
                row[3 * x] = static_cast<std::uint8_t>(pixel);
                row[3 * x + 1] = static_cast<std::uint8_t>(pixel >> 8);
                row[3 * x + 2] = static_cast<std::uint8_t>(pixel >> 16);
            }
        }
    }
    GdiFlush();
    return PictureImage{.bitmap = unique_hbitmap(handle),
                        .width = image.width,
                        .height = image.height,
                        .alpha = alpha};
}

}  // namespace

struct PictureLoader::Imaging {
    ComScope com;  // first: it outlives the factory
    ComOwner<IWICImagingFactory> factory =
        Created<IWICImagingFactory>([](IWICImagingFactory** out) {
            return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, reinterpret_cast<void**>(out));
        });
};

PictureLoader::PictureLoader() : imaging_(std::make_unique<Imaging>()) {}

PictureLoader::~PictureLoader() = default;

std::optional<PictureImage> PictureLoader::load(HINSTANCE instance, const forms::Picture& picture,
                                                int dpi) {
    if (!picture.resource) {
        return std::nullopt;
    }
    const int scale = forms::NearestPictureScale(dpi);
    const int renderedDpi = forms::kPictureScales[scale] * forms::kDesignDpi / 100;
    const auto file = ResourceBytes(instance, picture.resource + scale * forms::kPictureScaleStep);
    if (!file) {
        return std::nullopt;
    }
    const std::optional<PixelImage> rendering = Decode(imaging_->factory.get(), *file);
    if (!rendering) {
        return std::nullopt;
    }
    const forms::Rect size = forms::ScaledPictureSize(picture, dpi);
    const Panel renderedPanel{forms::Scaled(picture.panelHeight, renderedDpi),
                              forms::LineWidth(renderedDpi)};
    const Panel panel{forms::Scaled(picture.panelHeight, dpi), forms::LineWidth(dpi)};
    return ToBitmap(FitPicture(*rendering, renderedPanel, size.width, size.height, panel),
                    picture.bitsPerPixel, picture.transparent);
}

void DrawPicture(HDC dc, const PictureImage& picture, int x, int y) {
    unique_hdc source(CreateCompatibleDC(dc));
    if (!source) {
        return;
    }
    SelectedObject selected(source.get(), picture.bitmap.get());
    if (picture.alpha) {
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, x, y, picture.width, picture.height, source.get(), 0, 0, picture.width,
                   picture.height, blend);
    } else {
        BitBlt(dc, x, y, picture.width, picture.height, source.get(), 0, 0, SRCCOPY);
    }
}

}  // namespace ombrix
