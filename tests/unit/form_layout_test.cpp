#include <gtest/gtest.h>

#include <set>

#include "platform/form_layout.h"
#include "platform/picture_fitting.h"
#include "platform/picture_runs.h"
#include "resources/update_forms.h"

namespace ombrix {
namespace {

using forms::Rect;

Rect PlaceOf(const forms::FormLayout& layout, int id) {
    for (std::size_t i = 0; i < forms::kForm1.controls.size(); ++i) {
        if (forms::kForm1.controls[i].id == id) {
            return layout.controls[i];
        }
    }
    return {};
}

TEST(FormLayoutTest, ParentsAreCreatedFirstThenTheTabOrderUntabbedLast) {
    using forms::Control;
    const Control controls[] = {{.id = 1, .parent = 3, .tabIndex = 0},
                                {.id = 2},
                                {.id = 3, .tabIndex = 1},
                                {.id = 4, .tabIndex = 0},
                                {.id = 5, .parent = 1}};
    EXPECT_EQ(forms::CreationOrder(controls), (std::vector<std::size_t>{3, 2, 1, 0, 4}));
}

TEST(FormLayoutTest, At96DpiEverythingStandsAsDesigned) {
    const forms::FormLayout layout = forms::LayOut(forms::kForm1, 96);
    EXPECT_EQ(layout.client, (Rect{211, 218, 340, 100}));
    // Read from outside (the automation tool, screen readers, scripts): the id is 1000 + the row
    // (row 1, the transfer component, has no window).
    EXPECT_STREQ(forms::kForm1.caption, L"Tarnell升级程序");
    for (std::size_t i = 0; i < forms::kForm1.controls.size(); ++i) {
        const forms::Control& c = forms::kForm1.controls[i];
        EXPECT_EQ(c.id, 1002 + static_cast<int>(i));
        EXPECT_EQ(layout.controls[i], (Rect{c.x, c.y, c.width, c.height})) << c.id;
    }
    EXPECT_EQ(forms::FontPixelHeight(forms::kTitleFont, 96), 13);
    EXPECT_EQ(forms::LineWidth(96), 1);
}

TEST(FormLayoutTest, OtherResolutionsScaleByDpiOver96Rounded) {
    const forms::FormLayout at144 = forms::LayOut(forms::kForm1, 144);
    EXPECT_EQ(at144.client, (Rect{317, 327, 510, 150}));
    EXPECT_EQ(PlaceOf(at144, form1::ProgressBar1), (Rect{24, 72, 458, 26}));
    EXPECT_EQ(PlaceOf(at144, form1::close1), (Rect{468, 12, 36, 30}));
    EXPECT_EQ(forms::FontPixelHeight(forms::kTitleFont, 144), 20);  // 19.5 rounded
    EXPECT_EQ(forms::LineWidth(144), 2);

    const forms::FormLayout at192 = forms::LayOut(forms::kForm1, 192);
    EXPECT_EQ(at192.client, (Rect{422, 436, 680, 200}));
    EXPECT_EQ(PlaceOf(at192, form1::Label3), (Rect{32, 144, 610, 34}));
    EXPECT_EQ(forms::FontPixelHeight(forms::kTitleFont, 192), 26);
    EXPECT_EQ(forms::LineWidth(192), 2);
    EXPECT_EQ(forms::LayOut(forms::kForm2, 120).client, (Rect{553, 350, 8, 8}));
}

TEST(FormLayoutTest, ADpiChangeTakesTheSuggestedRectangleAndRescalesTheControls) {
    const Rect suggested{1500, 40, 680, 200};
    const forms::FormLayout layout = forms::LayOutAfterDpiChange(forms::kForm1, 192, suggested);
    EXPECT_EQ(layout.dpi, 192);
    EXPECT_EQ(layout.client, suggested);
    EXPECT_EQ(PlaceOf(layout, form1::close1), (Rect{624, 16, 48, 40}));
    EXPECT_EQ(PlaceOf(layout, form1::Picture1), (Rect{0, 0, 690, 226}));
    // And back: the 96-dpi places again.
    const forms::FormLayout back =
        forms::LayOutAfterDpiChange(forms::kForm1, 96, Rect{750, 20, 340, 100});
    EXPECT_EQ(PlaceOf(back, form1::close1), (Rect{312, 8, 24, 20}));
}

TEST(FormLayoutTest, PicturesComeFromTheNearestRendering) {
    // 100, 125, 150, 200 %; a tie goes to the larger rendering.
    EXPECT_EQ(forms::NearestPictureScale(72), 0);
    EXPECT_EQ(forms::NearestPictureScale(96), 0);
    EXPECT_EQ(forms::NearestPictureScale(108), 1);
    EXPECT_EQ(forms::NearestPictureScale(120), 1);
    EXPECT_EQ(forms::NearestPictureScale(144), 2);
    EXPECT_EQ(forms::NearestPictureScale(168), 3);
    EXPECT_EQ(forms::NearestPictureScale(192), 3);
    EXPECT_EQ(forms::NearestPictureScale(288), 3);
}

// A panel as the skin draws it at 200 %: frame 2 px, one gradient colour per row, white below.
PixelImage RenderedPanel() {
    PixelImage image{68, 60, {}};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint32_t colour = 0xFFFFFFFF;
            if (y < 20) {
                const bool frame = x < 2 || x >= 66 || y < 2 || y >= 18;
                colour = frame ? 0xFF103A80 : 0xFF000000 | static_cast<std::uint32_t>(y * 10);
            }
            image.pixels.push_back(colour);
        }
    }
    return image;
}

TEST(PictureFittingTest, ARenderingOfTheRightSizeIsUsedAsItIs) {
    const PixelImage rendering = RenderedPanel();
    const PixelImage fitted = FitPicture(rendering, {20, 2}, 68, 60, {20, 2});
    EXPECT_EQ(fitted.pixels, rendering.pixels);
}

TEST(PictureFittingTest, OtherSizesGetACrispFrameAndTheGradientAtTheExactSize) {
    const PixelImage rendering = RenderedPanel();
    // 175 %: 59 x 52 pixels, the panel 18 rows high inside a 2-pixel frame.
    const PixelImage fitted = FitPicture(rendering, {20, 2}, 59, 52, {18, 2});
    ASSERT_EQ(fitted.width, 59);
    ASSERT_EQ(fitted.height, 52);
    const std::set<std::uint32_t> source(rendering.pixels.begin(), rendering.pixels.end());
    std::uint32_t previous = 0;
    for (int y = 0; y < fitted.height; ++y) {
        for (int x = 0; x < fitted.width; ++x) {
            const std::uint32_t pixel = fitted.at(x, y);
            ASSERT_TRUE(source.contains(pixel)) << x << "," << y;  // nothing blended
            const bool frame = y < 18 && (x < 2 || x >= 57 || y < 2 || y >= 16);
            if (frame) {
                EXPECT_EQ(pixel, 0xFF103A80u) << x << "," << y;
            } else if (y < 18) {
                EXPECT_EQ(pixel, fitted.at(2, y));  // a gradient row is one colour
            } else if (y > 18) {
                EXPECT_EQ(pixel, 0xFFFFFFFFu) << x << "," << y;
            }
        }
        if (y >= 2 && y < 16) {
            EXPECT_GT(fitted.at(2, y), previous);  // the gradient runs on, row by row
            previous = fitted.at(2, y);
        }
    }
    EXPECT_NE(fitted.at(2, 2), 0xFF103A80u);
}

std::vector<std::uint8_t> RunsFile(std::uint16_t width, std::uint16_t height,
                                   std::initializer_list<std::uint32_t> palette,
                                   std::initializer_list<std::uint8_t> runs) {
    std::vector<std::uint8_t> data{'O', 'R', 'L', '1'};
    const auto put = [&data](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    };
    put(width, 2);
    put(height, 2);
    put(static_cast<std::uint32_t>(palette.size()), 2);
    for (const std::uint32_t colour : palette) {
        put(colour, 4);
    }
    data.insert(data.end(), runs);
    return data;
}

TEST(PictureRunsTest, RunsFillThePictureRowByRowAcrossRowEnds) {
    // 130 x 2: a run of 129 (two length bytes), one that crosses into the second row, the rest.
    const auto data =
        RunsFile(130, 2, {0x00000000, 0xFF103A80}, {0x81, 0x01, 1, 2, 0, 0x81, 0x01, 1});
    const auto image = DecodePictureRuns(data);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 130);
    ASSERT_EQ(image->height, 2);
    EXPECT_EQ(image->at(128, 0), 0xFF103A80u);
    EXPECT_EQ(image->at(129, 0), 0u);
    EXPECT_EQ(image->at(0, 1), 0u);
    EXPECT_EQ(image->at(1, 1), 0xFF103A80u);
    EXPECT_EQ(image->at(129, 1), 0xFF103A80u);
}

TEST(PictureRunsTest, DataThatIsNotExactlyOnePictureIsRefused) {
    const std::vector<std::vector<std::uint8_t>> refused = {
        {},
        {'O', 'R', 'L', '2', 1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0},  // another format
        RunsFile(0, 1, {0}, {}),                                   // no pixels
        RunsFile(2, 1, {}, {2, 0}),                                // no palette
        RunsFile(2, 1, {0}, {1, 0}),                               // cut short
        RunsFile(2, 1, {0}, {3, 0}),                               // more than its pixels
        RunsFile(2, 1, {0}, {0, 0, 2, 0}),                         // an empty run
        RunsFile(2, 1, {0}, {2, 1}),                               // an index beyond the palette
        RunsFile(2, 1, {0}, {2, 0, 0}),                            // bytes after the last pixel
        RunsFile(2, 1, {0}, {0x82}),                               // a length cut short
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        EXPECT_FALSE(DecodePictureRuns(refused[i])) << "case " << i;
    }
}

}  // namespace
}  // namespace ombrix
