#pragma once
// The skin pictures as the program stores them: a palette and runs of equal pixels. Decoding
// them needs no imaging library, so a window shows without starting COM and the system's image
// decoders, which under Wine cost tens of milliseconds at every start.
//
// Layout, little-endian: "ORL1", width and height (16 bits each, 1 to 4096), the palette's size
// (16 bits, 1 to 256) and its colours (32 bits each, 0xAARRGGBB, alpha premultiplied), then runs
// to the last pixel, top row first: a length (7 bits per byte, low bits first, a set top bit
// meaning more follow) and a palette index (one byte).
#include <cstdint>
#include <optional>
#include <span>

#include "platform/picture_fitting.h"

namespace ombrix {

// Nothing when the data is not such a picture, or is cut short, or holds more than its pixels.
std::optional<PixelImage> DecodePictureRuns(std::span<const std::uint8_t> data);

}  // namespace ombrix
