#include "platform/win32/form_pictures.h"

#include <cstdint>
#include <span>

#include "platform/gif_decoder.h"

namespace ombrix {
namespace {

std::optional<PictureImage> LoadBitmapPicture(HINSTANCE instance, int resource) {
    // A DIB section keeps the stored pixels exactly; a device bitmap could be dithered.
    auto* handle = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(resource), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!handle) {
        return std::nullopt;
    }
    PictureImage picture{.bitmap = unique_hbitmap(handle)};
    BITMAP info{};
    GetObjectW(handle, sizeof(info), &info);
    picture.width = info.bmWidth;
    picture.height = info.bmHeight;
    return picture;
}

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

std::optional<PictureImage> LoadGifPicture(HINSTANCE instance, int resource) {
    const auto bytes = ResourceBytes(instance, resource);
    if (!bytes) {
        return std::nullopt;
    }
    const GifDecodeResult decoded = decodeGif(*bytes);
    if (!decoded.ok()) {
        return std::nullopt;
    }
    const GifImage& image = decoded.image;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top-down, as the decoder delivers the rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP handle = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!handle || !bits) {
        return std::nullopt;
    }
    // Red-green-blue-alpha to the blue-green-red-alpha of a DIB. Transparent pixels are all
    // zero already, which is what premultiplied alpha wants.
    auto* out = static_cast<std::uint8_t*>(bits);
    for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
        out[i] = image.rgba[i + 2];
        out[i + 1] = image.rgba[i + 1];
        out[i + 2] = image.rgba[i];
        out[i + 3] = image.rgba[i + 3];
    }
    GdiFlush();
    return PictureImage{.bitmap = unique_hbitmap(handle),
                        .width = image.width,
                        .height = image.height,
                        .alpha = true};
}

}  // namespace

std::optional<PictureImage> LoadPicture(HINSTANCE instance, const forms::Picture& picture) {
    switch (picture.format) {
        case forms::PictureFormat::Bitmap:
            return LoadBitmapPicture(instance, picture.resource);
        case forms::PictureFormat::Gif:
            return LoadGifPicture(instance, picture.resource);
        case forms::PictureFormat::None:
            break;
    }
    return std::nullopt;
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
