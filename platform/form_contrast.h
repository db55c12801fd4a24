#pragma once
// How the controls that a window paints itself look in the normal (skinned) look and in the
// system's high-contrast mode, where the skin pictures give way to the user's own colours.
#include "platform/form_definition.h"

namespace ombrix::forms {

enum class Contrast { Normal, High };

struct Face {
    Colour fill;                       // Transparent: what lies behind the control shows
    const Picture* picture = nullptr;  // drawn unscaled from the top-left corner
    Colour text;                       // a label's caption
    StandIn standIn;                   // drawn over the fill in the text colour
    // A line in the text colour around the window's client area, so that a borderless window
    // stands out against whatever lies behind it.
    bool windowFrame = false;
};

// The face of a picture box, label or image that shows `shown` (an image may show the picture
// of another control; null for none).
Face FaceOf(const Control& control, const Picture* shown, Contrast contrast);

}  // namespace ombrix::forms
