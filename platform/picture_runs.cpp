#include "platform/picture_runs.h"

#include <cstddef>
#include <vector>

namespace ombrix {
namespace {

constexpr std::uint8_t kMagic[] = {'O', 'R', 'L', '1'};
constexpr int kMaxSide = 4096;
constexpr std::size_t kMaxColours = 256;

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

    bool done() const { return at_ == data_.size(); }

    std::optional<std::uint32_t> number(int bytes) {
        if (data_.size() - at_ < static_cast<std::size_t>(bytes)) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value |= static_cast<std::uint32_t>(data_[at_++]) << (8 * i);
        }
        return value;
    }

    // A length of at most 32 bits in 7-bit groups.
    std::optional<std::uint64_t> length() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            const auto byte = number(1);
            if (!byte) {
                return std::nullopt;
            }
            value |= static_cast<std::uint64_t>(*byte & 0x7F) << shift;
            if ((*byte & 0x80) == 0) {
                return value;
            }
        }
        return std::nullopt;
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<PixelImage> DecodePictureRuns(std::span<const std::uint8_t> data) {
    Reader read(data);
    for (const std::uint8_t expected : kMagic) {
        if (read.number(1) != expected) {
            return std::nullopt;
        }
    }
    const auto width = read.number(2);
    const auto height = read.number(2);
    const auto colours = read.number(2);
    if (!width || !height || !colours || *width == 0 || *height == 0 || *width > kMaxSide ||
        *height > kMaxSide || *colours == 0 || *colours > kMaxColours) {
        return std::nullopt;
    }
    std::vector<std::uint32_t> palette;
    for (std::uint32_t i = 0; i < *colours; ++i) {
        const auto colour = read.number(4);
        if (!colour) {
            return std::nullopt;
        }
        palette.push_back(*colour);
    }
    PixelImage image{static_cast<int>(*width), static_cast<int>(*height), {}};
    const std::size_t total = std::size_t{*width} * *height;
    image.pixels.reserve(total);
    while (image.pixels.size() < total) {
        const auto count = read.length();
        const auto index = read.number(1);
        if (!count || !index || *count == 0 || *count > total - image.pixels.size() ||
            *index >= palette.size()) {
            return std::nullopt;
        }
        image.pixels.insert(image.pixels.end(), static_cast<std::size_t>(*count), palette[*index]);
    }
    if (!read.done()) {
        return std::nullopt;
    }
    return image;
}

}  // namespace ombrix
