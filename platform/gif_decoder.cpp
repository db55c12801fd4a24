#include "platform/gif_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace ombrix {
namespace {

constexpr int kMaxCodes = 4096;  // LZW codes are at most 12 bits wide

// Bounds-checked reading of the byte stream; every read reports running off the end.
class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::optional<std::uint8_t> byte() {
        if (pos_ >= data_.size()) {
            return std::nullopt;
        }
        return data_[pos_++];
    }

    std::optional<std::uint16_t> word() {  // little-endian, as all GIF numbers are
        if (data_.size() - pos_ < 2) {
            return std::nullopt;
        }
        const auto value = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return value;
    }

    std::optional<std::span<const std::uint8_t>> bytes(std::size_t count) {
        if (data_.size() - pos_ < count) {
            return std::nullopt;
        }
        auto part = data_.subspan(pos_, count);
        pos_ += count;
        return part;
    }

    // Reads a chain of data sub-blocks up to its zero-length terminator and appends their
    // contents to `out`.
    bool subBlocks(std::vector<std::uint8_t>& out) {
        for (;;) {
            const auto size = byte();
            if (!size) {
                return false;
            }
            if (*size == 0) {
                return true;
            }
            const auto part = bytes(*size);
            if (!part) {
                return false;
            }
            out.insert(out.end(), part->begin(), part->end());
        }
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

using Palette = std::vector<std::array<std::uint8_t, 3>>;

std::optional<Palette> readPalette(ByteReader& in, int sizeBits) {
    const std::size_t count = std::size_t{1} << (sizeBits + 1);
    const auto raw = in.bytes(count * 3);
    if (!raw) {
        return std::nullopt;
    }
    Palette palette(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(palette[i].data(), raw->data() + i * 3, 3);
    }
    return palette;
}

// Codes are packed least significant bit first.
class CodeReader {
  public:
    explicit CodeReader(const std::vector<std::uint8_t>& data) : data_(data) {}

    std::optional<int> read(int width) {
        while (bitCount_ < width) {
            if (pos_ >= data_.size()) {
                return std::nullopt;
            }
            bits_ |= std::uint32_t{data_[pos_++]} << bitCount_;
            bitCount_ += 8;
        }
        const int code = static_cast<int>(bits_ & ((1u << width) - 1));
        bits_ >>= width;
        bitCount_ -= width;
        return code;
    }

  private:
    const std::vector<std::uint8_t>& data_;
    std::size_t pos_ = 0;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
};

// Decodes LZW data into exactly `pixelCount` colour indices. Data that runs out first is
// truncated; anything after the last needed pixel is ignored.
GifError decodeLzw(const std::vector<std::uint8_t>& data, int minCodeSize, std::size_t pixelCount,
                   std::vector<std::uint8_t>& indices) {
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint8_t, kMaxCodes> suffix{};
    std::array<std::uint8_t, kMaxCodes> chain{};  // one code's string, back to front

    int width = minCodeSize + 1;
    int next = endCode + 1;
    int previous = -1;
    CodeReader reader(data);
    indices.clear();
    indices.reserve(pixelCount);

    while (indices.size() < pixelCount) {
        const auto read = reader.read(width);
        if (!read) {
            return GifError::Truncated;
        }
        const int code = *read;
        if (code == clearCode) {
            width = minCodeSize + 1;
            next = endCode + 1;
            previous = -1;
            continue;
        }
        if (code == endCode) {
            return GifError::Truncated;
        }
        if (previous < 0) {
            if (code > clearCode) {
                return GifError::Corrupt;  // only a single index can follow a clear
            }
            indices.push_back(static_cast<std::uint8_t>(code));
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= kMaxCodes)) {
            return GifError::Corrupt;
        }
        // The string of `code`; a code not yet in the table (the one being defined now) is the
        // previous string followed by that string's first index. Prefixes always point to
        // smaller codes, so the walk ends on a single index: the string's first.
        const int known = code == next ? previous : code;
        std::size_t length = 0;
        int c = known;
        while (c >= clearCode) {
            chain[length++] = suffix[c];
            c = prefix[c];
        }
        chain[length++] = static_cast<std::uint8_t>(c);
        const auto head = static_cast<std::uint8_t>(c);
        for (std::size_t i = length; i > 0 && indices.size() < pixelCount; --i) {
            indices.push_back(chain[i - 1]);
        }
        if (code == next && indices.size() < pixelCount) {
            indices.push_back(head);
        }
        if (next < kMaxCodes) {
            prefix[next] = static_cast<std::uint16_t>(previous);
            suffix[next] = head;
            ++next;
            if (next == (1 << width) && width < 12) {
                ++width;
            }
        }
        previous = code;
    }
    return GifError::None;
}

// Row order of an interlaced image: every 8th row from 0, every 8th from 4, every 4th from 2,
// every 2nd from 1.
std::vector<int> rowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            rows.push_back(y);
        }
        return rows;
    }
    constexpr std::array<std::array<int, 2>, 4> passes{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (const auto& [start, step] : passes) {
        for (int y = start; y < height; y += step) {
            rows.push_back(y);
        }
    }
    return rows;
}

// Reads the stream up to the first image; the transparent index of the last Graphic Control
// Extension before it applies to that image.
class Decoder {
  public:
    explicit Decoder(std::span<const std::uint8_t> data) : in_(data) {}

    GifDecodeResult run() {
        const auto signature = in_.bytes(6);
        if (!signature || (std::memcmp(signature->data(), "GIF87a", 6) != 0 &&
                           std::memcmp(signature->data(), "GIF89a", 6) != 0)) {
            return fail(GifError::NotGif);
        }
        const auto width = in_.word();
        const auto height = in_.word();
        const auto flags = in_.byte();
        if (!width || !height || !flags || !in_.bytes(2)) {  // background index, aspect ratio
            return fail(GifError::Truncated);
        }
        screenWidth_ = *width;
        screenHeight_ = *height;
        if (*flags & 0x80) {
            globalPalette_ = readPalette(in_, *flags & 0x07);
            if (!globalPalette_) {
                return fail(GifError::Truncated);
            }
        }
        for (;;) {
            const auto introducer = in_.byte();
            if (!introducer) {
                return fail(GifError::Truncated);
            }
            switch (*introducer) {
                case 0x21:
                    if (!extension()) {
                        return fail(GifError::Truncated);
                    }
                    break;
                case 0x2C:
                    return image();
                case 0x3B:
                    return fail(GifError::NoImage);
                default:
                    return fail(GifError::Corrupt);
            }
        }
    }

  private:
    ByteReader in_;
    std::optional<Palette> globalPalette_;
    int transparentIndex_ = -1;
    int screenWidth_ = 0;
    int screenHeight_ = 0;

    static GifDecodeResult fail(GifError error) { return GifDecodeResult{error, {}}; }

    bool extension() {
        const auto label = in_.byte();
        if (!label) {
            return false;
        }
        std::vector<std::uint8_t> body;
        if (!in_.subBlocks(body)) {
            return false;
        }
        // Graphic Control Extension: flags, delay (2 bytes), transparent index.
        if (*label == 0xF9 && body.size() >= 4) {
            transparentIndex_ = (body[0] & 0x01) ? body[3] : -1;
        }
        return true;
    }

    GifDecodeResult image() {
        const auto left = in_.word();
        const auto top = in_.word();
        const auto width = in_.word();
        const auto height = in_.word();
        const auto flags = in_.byte();
        if (!left || !top || !width || !height || !flags) {
            return fail(GifError::Truncated);
        }
        std::optional<Palette> palette = globalPalette_;
        if (*flags & 0x80) {
            palette = readPalette(in_, *flags & 0x07);
            if (!palette) {
                return fail(GifError::Truncated);
            }
        }
        if (!palette) {
            return fail(GifError::Corrupt);
        }
        const auto minCodeSize = in_.byte();
        if (!minCodeSize) {
            return fail(GifError::Truncated);
        }
        if (*minCodeSize < 1 || *minCodeSize > 8) {
            return fail(GifError::Corrupt);
        }
        // The canvas is the logical screen, grown if the image reaches beyond it.
        const int canvasWidth = std::max(screenWidth_, *left + *width);
        const int canvasHeight = std::max(screenHeight_, *top + *height);
        const auto canvasPixels =
            static_cast<std::size_t>(canvasWidth) * static_cast<std::size_t>(canvasHeight);
        if (canvasPixels == 0) {
            return fail(GifError::Corrupt);
        }
        if (canvasPixels > kGifMaxPixels) {
            return fail(GifError::TooLarge);
        }
        std::vector<std::uint8_t> lzw;
        if (!in_.subBlocks(lzw)) {
            return fail(GifError::Truncated);
        }
        std::vector<std::uint8_t> indices;
        const std::size_t pixelCount = std::size_t{*width} * *height;
        if (const auto error = decodeLzw(lzw, *minCodeSize, pixelCount, indices);
            error != GifError::None) {
            return fail(error);
        }

        GifDecodeResult result;
        result.image.width = canvasWidth;
        result.image.height = canvasHeight;
        result.image.rgba.assign(canvasPixels * 4, 0);
        const auto rows = rowOrder(*height, (*flags & 0x40) != 0);
        std::size_t source = 0;
        for (const int row : rows) {
            std::uint8_t* out = result.image.rgba.data() +
                                (static_cast<std::size_t>(*top + row) * canvasWidth + *left) * 4;
            for (int x = 0; x < *width; ++x, out += 4) {
                const std::uint8_t index = indices[source++];
                if (index >= palette->size()) {
                    return fail(GifError::Corrupt);
                }
                if (index == transparentIndex_) {
                    continue;
                }
                const auto& colour = (*palette)[index];
                out[0] = colour[0];
                out[1] = colour[1];
                out[2] = colour[2];
                out[3] = 255;
            }
        }
        return result;
    }
};

}  // namespace

GifDecodeResult decodeGif(std::span<const std::uint8_t> data) {
    return Decoder(data).run();
}

}  // namespace ombrix
