#pragma once
// A small GIF decoder for the skin's title icon: GIF87a and GIF89a, the first image only, global or
// local palette, interlaced or not, and the transparent colour of the Graphic Control Extension.
// Portable: the Win32 side turns the pixels into a bitmap of its own.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace ombrix {

// Pixels row by row from the top, four bytes each: red, green, blue, alpha. Alpha is 255 or 0;
// transparent pixels (the transparent colour, and any part of the logical screen that the first
// image leaves uncovered) are all zero, so the buffer is also valid as premultiplied alpha.
struct GifImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

enum class GifError {
    None,
    NotGif,     // no GIF87a/GIF89a signature
    Truncated,  // the data ends before the first image is complete
    Corrupt,    // impossible data: bad code or block, index beyond the palette, no pixels
    TooLarge,   // more pixels than kGifMaxPixels
    NoImage,    // the trailer comes before any image
};

// Images beyond this many pixels are refused rather than allocated: a few bytes of LZW data can
// claim a huge picture.
inline constexpr std::size_t kGifMaxPixels = std::size_t{1} << 22;

struct GifDecodeResult {
    GifError error = GifError::None;
    GifImage image;  // empty unless error is None

    bool ok() const { return error == GifError::None; }
};

GifDecodeResult decodeGif(std::span<const std::uint8_t> data);

}  // namespace ombrix
