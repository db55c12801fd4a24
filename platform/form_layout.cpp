#include "platform/form_layout.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace ombrix::forms {

int Scaled(int pixels, int dpi) {
    const std::int64_t product = static_cast<std::int64_t>(pixels) * dpi;
    const std::int64_t half = kDesignDpi / 2;
    const std::int64_t rounded = (std::llabs(product) + half) / kDesignDpi;
    return static_cast<int>(product < 0 ? -rounded : rounded);
}

int LineWidth(int dpi) {
    const int width = Scaled(1, dpi);
    return width < 1 ? 1 : width;
}

int FontPixelHeight(const Font& font, int dpi) {
    // Points are 1/72 inch; the font's size is in hundredths of a point.
    const std::int64_t product = static_cast<std::int64_t>(font.hundredthsOfPoint) * dpi;
    return static_cast<int>((product + 3600) / 7200);
}

int NearestPictureScale(int dpi) {
    const int percent100 = dpi * 100;  // the scale in hundredths of a per cent, times 96
    int best = 0;
    for (int i = 1; i < static_cast<int>(std::size(kPictureScales)); ++i) {
        const int distance = std::abs(kPictureScales[i] * kDesignDpi - percent100);
        const int bestDistance = std::abs(kPictureScales[best] * kDesignDpi - percent100);
        if (distance <= bestDistance) {
            best = i;
        }
    }
    return best;
}

Rect ScaledPictureSize(const Picture& picture, int dpi) {
    return {0, 0, Scaled(picture.width, dpi), Scaled(picture.height, dpi)};
}

namespace {

std::vector<Rect> ScaledControls(const Form& form, int dpi) {
    std::vector<Rect> controls;
    controls.reserve(form.controls.size());
    for (const Control& control : form.controls) {
        controls.push_back({Scaled(control.x, dpi), Scaled(control.y, dpi),
                            Scaled(control.width, dpi), Scaled(control.height, dpi)});
    }
    return controls;
}

}  // namespace

FormLayout LayOut(const Form& form, int dpi) {
    return {dpi,
            {Scaled(form.x, dpi), Scaled(form.y, dpi), Scaled(form.clientWidth, dpi),
             Scaled(form.clientHeight, dpi)},
            ScaledControls(form, dpi)};
}

FormLayout LayOutAfterDpiChange(const Form& form, int dpi, const Rect& suggestedClient) {
    return {dpi, suggestedClient, ScaledControls(form, dpi)};
}

std::vector<std::size_t> CreationOrder(std::span<const Control> controls) {
    auto depth = [&](const Control& control) {
        int levels = 0;
        for (int parent = control.parent; parent != kOnWindow && levels < 8; ++levels) {
            auto found = std::find_if(controls.begin(), controls.end(),
                                      [&](const Control& c) { return c.id == parent; });
            parent = found == controls.end() ? kOnWindow : found->parent;
        }
        return levels;
    };
    auto tabKey = [](const Control& control) {
        return control.tabIndex == kNoTabStop ? INT_MAX : control.tabIndex;
    };
    std::vector<std::size_t> order(controls.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int depthA = depth(controls[a]);
        const int depthB = depth(controls[b]);
        if (depthA != depthB) {
            return depthA < depthB;
        }
        return tabKey(controls[a]) < tabKey(controls[b]);
    });
    return order;
}

}  // namespace ombrix::forms
