#pragma once
// Where a window and its controls stand at a display resolution. The windows are designed at
// 96 dpi; at any other resolution every place, size and font grows by dpi / 96, rounded to the
// nearest pixel, so a window looks the same at every scale.
#include <cstddef>
#include <span>
#include <vector>

#include "platform/form_definition.h"

namespace ombrix::forms {

inline constexpr int kDesignDpi = 96;

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A length or coordinate of the design at `dpi`, rounded half away from zero.
int Scaled(int pixels, int dpi);

// Lines the skin draws one pixel wide at 96 dpi: round(dpi / 96), at least one.
int LineWidth(int dpi);

// The em height of a font in pixels at `dpi`.
int FontPixelHeight(const Font& font, int dpi);

// Index into kPictureScales of the rendering nearest to `dpi` (the larger one on a tie).
int NearestPictureScale(int dpi);

// The size a picture is shown at, at `dpi`.
Rect ScaledPictureSize(const Picture& picture, int dpi);

struct FormLayout {
    int dpi = kDesignDpi;
    Rect client;                 // screen place and size of the client area
    std::vector<Rect> controls;  // within their parents, in the order of form.controls
};

// The layout when the window opens on a display of `dpi`.
FormLayout LayOut(const Form& form, int dpi);

// The layout after the window has moved to a display of `dpi`: the system's suggested client
// rectangle gives the place and size, the controls follow the new resolution.
FormLayout LayOutAfterDpiChange(const Form& form, int dpi, const Rect& suggestedClient);

// Indices into `controls` in the order to create them: parents before their children, and
// within one parent the tab order, so that the z-order that dialog navigation follows is the
// designed tab order.
std::vector<std::size_t> CreationOrder(std::span<const Control> controls);

}  // namespace ombrix::forms
