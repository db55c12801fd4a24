#include "platform/win32/form_pictures.h"

#include <cstdint>
#include <cstring>
#include <span>

#include "platform/form_layout.h"
#include "platform/picture_fitting.h"
#include "platform/picture_runs.h"

namespace ombrix {
namespace {

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

std::optional<PictureImage> LoadPicture(HINSTANCE instance, const forms::Picture& picture,
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
    const std::optional<PixelImage> rendering = DecodePictureRuns(*file);
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
        // gdi32's own entry point: msimg32 is no KnownDLL, so importing it would let a copy
        // beside the program be loaded with the program.
        GdiAlphaBlend(dc, x, y, picture.width, picture.height, source.get(), 0, 0, picture.width,
                      picture.height, blend);
    } else {
        BitBlt(dc, x, y, picture.width, picture.height, source.get(), 0, 0, SRCCOPY);
    }
}

}  // namespace ombrix
