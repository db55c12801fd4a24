#include "platform/gif_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace ombrix {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>;

struct Code {
    int value;
    int width;
};

// Assembles a GIF from readable parts; the LZW codes are given with their widths, so each test
// states exactly what the decoder has to read.
class GifBuilder {
  public:
    GifBuilder(std::string_view signature, int width, int height, const std::vector<Rgb>& palette) {
        bytes_.assign(signature.begin(), signature.end());
        word(width);
        word(height);
        bytes_.push_back(palette.empty() ? 0 : static_cast<std::uint8_t>(0xF0 | sizeBits(palette)));
        bytes_.push_back(0);  // background
        bytes_.push_back(0);  // aspect ratio
        colours(palette);
    }

    GifBuilder& transparent(int index) {
        bytes_.insert(bytes_.end(),
                      {0x21, 0xF9, 4, 0x01, 0, 0, static_cast<std::uint8_t>(index), 0});
        return *this;
    }

    GifBuilder& comment() {
        bytes_.insert(bytes_.end(), {0x21, 0xFE, 3, 'h', 'i', '!', 0});
        return *this;
    }

    struct Frame {
        int left = 0, top = 0, width = 0, height = 0;
        bool interlaced = false;
        std::vector<Rgb> localPalette;
        int minCodeSize = 2;
    };

    static Frame plain(int width, int height, int minCodeSize = 2) {
        Frame frame;
        frame.width = width;
        frame.height = height;
        frame.minCodeSize = minCodeSize;
        return frame;
    }

    GifBuilder& image(const Frame& frame, const std::vector<Code>& codes) {
        bytes_.push_back(0x2C);
        word(frame.left);
        word(frame.top);
        word(frame.width);
        word(frame.height);
        std::uint8_t flags = frame.interlaced ? 0x40 : 0;
        if (!frame.localPalette.empty()) {
            flags |= static_cast<std::uint8_t>(0x80 | sizeBits(frame.localPalette));
        }
        bytes_.push_back(flags);
        colours(frame.localPalette);
        bytes_.push_back(static_cast<std::uint8_t>(frame.minCodeSize));
        const Bytes data = pack(codes);
        for (std::size_t i = 0; i < data.size(); i += 255) {
            const std::size_t n = std::min<std::size_t>(255, data.size() - i);
            bytes_.push_back(static_cast<std::uint8_t>(n));
            bytes_.insert(bytes_.end(), data.begin() + i, data.begin() + i + n);
        }
        bytes_.push_back(0);
        return *this;
    }

    Bytes end() {
        bytes_.push_back(0x3B);
        return bytes_;
    }

  private:
    static int sizeBits(const std::vector<Rgb>& palette) {
        int bits = 0;
        while ((std::size_t{2} << bits) < palette.size()) {
            ++bits;
        }
        return bits;
    }

    static Bytes pack(const std::vector<Code>& codes) {
        Bytes out;
        std::uint32_t acc = 0;
        int count = 0;
        for (const auto& [value, width] : codes) {
            acc |= static_cast<std::uint32_t>(value) << count;
            for (count += width; count >= 8; count -= 8, acc >>= 8) {
                out.push_back(static_cast<std::uint8_t>(acc));
            }
        }
        if (count > 0) {
            out.push_back(static_cast<std::uint8_t>(acc));
        }
        return out;
    }

    void word(int value) {
        bytes_.push_back(static_cast<std::uint8_t>(value));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    }

    void colours(const std::vector<Rgb>& palette) {
        for (const auto& c : palette) {
            bytes_.insert(bytes_.end(), c.begin(), c.end());
        }
        // Palettes hold a power of two entries; pad with black.
        if (!palette.empty()) {
            bytes_.resize(bytes_.size() +
                          3 * ((std::size_t{2} << sizeBits(palette)) - palette.size()));
        }
    }

    Bytes bytes_;
};

const std::vector<Rgb> kFour{{{255, 0, 0}}, {{0, 255, 0}}, {{0, 0, 255}}, {{255, 255, 255}}};

std::array<std::uint8_t, 4> pixel(const GifImage& image, int x, int y) {
    const auto* p = image.rgba.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

std::array<std::uint8_t, 4> opaque(const Rgb& c) {
    return {c[0], c[1], c[2], 255};
}

constexpr std::array<std::uint8_t, 4> kClear{0, 0, 0, 0};

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes titleIcon() {
    const auto root = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
    return readFile(root / "resources" / "skin" / "title.gif");
}

TEST(GifDecoder, DecodesTheCommittedTitleIcon) {
    const Bytes file = titleIcon();
    ASSERT_GT(file.size(), 13u + 128 * 3);
    // A global palette of 128 entries: flag bit set and a size field of 6.
    EXPECT_EQ(file[10] & 0x87, 0x86);

    const auto result = decodeGif(file);
    ASSERT_TRUE(result.ok());
    ASSERT_EQ(result.image.width, 16);
    ASSERT_EQ(result.image.height, 16);
    ASSERT_EQ(result.image.rgba.size(), 16u * 16 * 4);
    // The emblem is a disc: its corners are transparent and let the panel show through.
    for (const auto& [x, y] : {std::pair{0, 0}, {15, 0}, {0, 15}, {15, 15}}) {
        EXPECT_EQ(pixel(result.image, x, y), kClear) << x << "," << y;
    }
    // The left side of the white "O", and the orange inside it.
    EXPECT_EQ(pixel(result.image, 3, 8), (std::array<std::uint8_t, 4>{255, 255, 255, 255}));
    const auto inside = pixel(result.image, 7, 8);
    EXPECT_EQ(inside[3], 255);
    EXPECT_GT(inside[0], 200);
    EXPECT_LT(inside[2], 100);
}

TEST(GifDecoder, DecodesLzwStringsIncludingCodesDefinedByTheirOwnUse) {
    // 0 1 2 3 repeated three times. After the table reaches 8 entries the codes widen to 4 bits.
    const Bytes growing =
        GifBuilder("GIF87a", 4, 3, kFour)
            .image(
                GifBuilder::plain(4, 3),
                {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {6, 4}, {8, 4}, {10, 4}, {3, 4}, {5, 4}})
            .end();
    auto result = decodeGif(growing);
    ASSERT_TRUE(result.ok());
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(pixel(result.image, i % 4, i / 4), opaque(kFour[i % 4])) << i;
    }

    // Six times index 1: codes 6 and 7 are each read while being defined.
    const Bytes selfReferring =
        GifBuilder("GIF89a", 2, 3, kFour)
            .image(GifBuilder::plain(2, 3), {{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}})
            .end();
    result = decodeGif(selfReferring);
    ASSERT_TRUE(result.ok());
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(pixel(result.image, i % 2, i / 2), opaque(kFour[1])) << i;
    }
}

// Literal codes only, with a clear code before every pair so that the code width stays put.
std::vector<Code> literals(const std::vector<int>& indices, int minCodeSize) {
    const int clear = 1 << minCodeSize;
    const int width = minCodeSize + 1;
    std::vector<Code> codes;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0) {
            codes.push_back({clear, width});
        }
        codes.push_back({indices[i], width});
    }
    codes.push_back({clear + 1, width});
    return codes;
}

TEST(GifDecoder, PlacesInterlacedRowsAndHonoursLocalPaletteTransparencyAndOffset) {
    std::vector<Rgb> eight;
    for (std::uint8_t i = 0; i < 8; ++i) {
        eight.push_back({static_cast<std::uint8_t>(i * 30), 7, 9});
    }
    // Rows are stored in the order 0, 4, 2, 6, 1, 3, 5, 7; row y has colour y, and colour 5 is
    // transparent. The 1 x 8 image sits at 1, 1 on a 3 x 10 screen with a (wrong) global palette.
    GifBuilder::Frame frame = GifBuilder::plain(1, 8, 3);
    frame.left = 1;
    frame.top = 1;
    frame.interlaced = true;
    frame.localPalette = eight;
    const Bytes gif = GifBuilder("GIF89a", 3, 10, kFour)
                          .comment()
                          .transparent(5)
                          .image(frame, literals({0, 4, 2, 6, 1, 3, 5, 7}, 3))
                          .end();
    const auto result = decodeGif(gif);
    ASSERT_TRUE(result.ok());
    ASSERT_EQ(result.image.width, 3);
    ASSERT_EQ(result.image.height, 10);
    for (int y = 0; y < 8; ++y) {
        EXPECT_EQ(pixel(result.image, 1, y + 1), y == 5 ? kClear : opaque(eight[y])) << y;
        EXPECT_EQ(pixel(result.image, 0, y + 1), kClear);
        EXPECT_EQ(pixel(result.image, 2, y + 1), kClear);
    }
    EXPECT_EQ(pixel(result.image, 1, 0), kClear);
    EXPECT_EQ(pixel(result.image, 1, 9), kClear);
}

TEST(GifDecoder, RejectsEveryTruncationOfARealFile) {
    const Bytes file = titleIcon();
    ASSERT_FALSE(file.empty());
    // Only the trailer after the first image may be missing.
    for (std::size_t n = 0; n + 1 < file.size(); ++n) {
        const auto result = decodeGif(std::span(file.data(), n));
        EXPECT_FALSE(result.ok()) << "length " << n;
        EXPECT_TRUE(result.image.rgba.empty());
    }
    EXPECT_TRUE(decodeGif(std::span(file.data(), file.size() - 1)).ok());
}

TEST(GifDecoder, RejectsCorruptData) {
    const auto image = [](const std::vector<Code>& codes, int minCodeSize = 2) {
        return GifBuilder("GIF89a", 2, 1, kFour)
            .image(GifBuilder::plain(2, 1, minCodeSize), codes)
            .end();
    };
    EXPECT_EQ(decodeGif(image({{4, 3}, {1, 3}, {2, 3}, {5, 3}})).error, GifError::None);

    Bytes notGif = image({{4, 3}, {1, 3}, {2, 3}, {5, 3}});
    notGif[4] = '8';  // "GIF88a"
    EXPECT_EQ(decodeGif(notGif).error, GifError::NotGif);
    EXPECT_EQ(decodeGif(Bytes{}).error, GifError::NotGif);

    // A string code that is not defined yet (7 while 6 is the next to come).
    EXPECT_EQ(decodeGif(image({{4, 3}, {1, 3}, {7, 3}, {5, 3}})).error, GifError::Corrupt);
    // A string code straight after a clear code, when only single indices are known.
    EXPECT_EQ(decodeGif(image({{4, 3}, {6, 3}, {5, 3}})).error, GifError::Corrupt);
    // The end code before the image is complete.
    EXPECT_EQ(decodeGif(image({{4, 3}, {1, 3}, {5, 3}})).error, GifError::Truncated);
    // Code sizes outside 1..8.
    EXPECT_EQ(decodeGif(image({{1, 1}, {1, 1}}, 0)).error, GifError::Corrupt);
    EXPECT_EQ(decodeGif(image({{512, 10}, {1, 10}, {2, 10}}, 9)).error, GifError::Corrupt);

    // Index 3 with a palette of two colours.
    const Bytes outside = GifBuilder("GIF89a", 2, 1, {{{0, 0, 0}}, {{9, 9, 9}}})
                              .image(GifBuilder::plain(2, 1), {{4, 3}, {1, 3}, {3, 3}, {5, 3}})
                              .end();
    EXPECT_EQ(decodeGif(outside).error, GifError::Corrupt);

    // No palette at all.
    const Bytes noPalette = GifBuilder("GIF89a", 2, 1, {})
                                .image(GifBuilder::plain(2, 1), {{4, 3}, {1, 3}, {2, 3}, {5, 3}})
                                .end();
    EXPECT_EQ(decodeGif(noPalette).error, GifError::Corrupt);

    // An unknown block, and a trailer with no image before it.
    Bytes unknown = GifBuilder("GIF89a", 2, 1, kFour).end();
    unknown.back() = 0x99;
    EXPECT_EQ(decodeGif(unknown).error, GifError::Corrupt);
    EXPECT_EQ(decodeGif(GifBuilder("GIF89a", 2, 1, kFour).end()).error, GifError::NoImage);

    // A picture without pixels.
    EXPECT_EQ(decodeGif(GifBuilder("GIF89a", 0, 0, kFour)
                            .image(GifBuilder::plain(0, 0), {{4, 3}, {5, 3}})
                            .end())
                  .error,
              GifError::Corrupt);

    // A huge picture claimed by a few bytes is refused before anything is allocated.
    const Bytes huge = GifBuilder("GIF89a", 65535, 65535, kFour)
                           .image(GifBuilder::plain(65535, 65535), {{4, 3}, {1, 3}, {5, 3}})
                           .end();
    EXPECT_EQ(decodeGif(huge).error, GifError::TooLarge);
}

TEST(GifDecoder, SurvivesRandomDamage) {
    const Bytes file = titleIcon();
    ASSERT_FALSE(file.empty());
    std::uint32_t seed = 12345;
    const auto random = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = file;
        for (int hits = 1 + random() % 4; hits > 0; --hits) {
            damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
        }
        const auto result = decodeGif(damaged);
        if (result.ok()) {
            EXPECT_EQ(result.image.rgba.size(),
                      static_cast<std::size_t>(result.image.width) * result.image.height * 4);
        }
    }
}

}  // namespace
}  // namespace ombrix
