#pragma once
// Fitting a stored rendering of a picture to the exact size a display scale asks for, without
// blending: every pixel of the result is a pixel of the rendering, so edges stay crisp.
#include <cstdint>
#include <vector>

namespace ombrix {

// Pixels top-down, row by row, as 0xAARRGGBB with premultiplied alpha.
struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// The top rows of a picture that form a panel: a vertical gradient inside a frame.
struct Panel {
    int height = 0;  // 0: the picture has no panel
    int frame = 1;   // width of the frame line
};

// The rendering unchanged when it has the size asked for. Otherwise each pixel takes the pixel
// of the rendering nearest to its centre, and a panel is drawn anew: its frame `panel.frame`
// pixels wide in the rendering's frame colour, its gradient rows spread over the new height.
PixelImage FitPicture(const PixelImage& rendering, const Panel& renderedPanel, int width,
                      int height, const Panel& panel);

}  // namespace ombrix
