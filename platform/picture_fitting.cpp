#include "platform/picture_fitting.h"

#include <algorithm>
#include <cstddef>

namespace ombrix {
namespace {

// The source index whose span holds the centre of target index `i` of `count`.
int NearestSource(int i, int count, int sourceCount) {
    const long long centre = 2LL * i + 1;
    const int source = static_cast<int>(centre * sourceCount / (2LL * count));
    return std::clamp(source, 0, sourceCount - 1);
}

void RedrawPanel(const PixelImage& rendering, const Panel& renderedPanel, PixelImage& image,
                 const Panel& panel) {
    const int height = std::min(panel.height, image.height);
    const int frame = panel.frame;
    const std::uint32_t frameColour = rendering.at(0, 0);
    const int gradientRows = height - 2 * frame;
    const int sourceFirst = renderedPanel.frame;
    const int sourceRows =
        std::max(1, std::min(renderedPanel.height, rendering.height) - 2 * renderedPanel.frame);
    const int column = rendering.width / 2;
    for (int y = 0; y < height; ++y) {
        const bool frameRow = y < frame || y >= height - frame;
        const std::uint32_t inside =
            frameRow || gradientRows <= 0
                ? frameColour
                : rendering.at(column,
                               sourceFirst + NearestSource(y - frame, gradientRows, sourceRows));
        std::uint32_t* row = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
        for (int x = 0; x < image.width; ++x) {
            row[x] = x < frame || x >= image.width - frame ? frameColour : inside;
        }
    }
}

}  // namespace

PixelImage FitPicture(const PixelImage& rendering, const Panel& renderedPanel, int width,
                      int height, const Panel& panel) {
    if ((rendering.width == width && rendering.height == height) || rendering.width <= 0 ||
        rendering.height <= 0 || width <= 0 || height <= 0) {
        return rendering;
    }
    PixelImage image{width, height,
                     std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        const int sourceY = NearestSource(y, height, rendering.height);
        for (int x = 0; x < width; ++x) {
            image.pixels[static_cast<std::size_t>(y) * width + x] =
                rendering.at(NearestSource(x, width, rendering.width), sourceY);
        }
    }
    if (panel.height > 0 && renderedPanel.height > 0) {
        RedrawPanel(rendering, renderedPanel, image, panel);
    }
    return image;
}

}  // namespace ombrix
