#include "platform/form_contrast.h"

namespace ombrix::forms {

Face FaceOf(const Control& control, const Picture* shown, Contrast contrast) {
    if (contrast == Contrast::Normal) {
        const bool drawn = control.kind == Kind::PictureBox || control.kind == Kind::Image;
        return Face{.fill = control.kind == Kind::Image ? kTransparent : control.background,
                    .picture = drawn ? shown : nullptr,
                    .text = control.foreground};
    }
    // The user's window and text colours, and no picture: a skin drawn for one colour scheme
    // cannot serve the scheme the user chose.
    const Colour window = System(SystemColour::Window);
    const Colour text = System(SystemColour::WindowText);
    const bool seeThrough =
        control.kind == Kind::Image ||
        (control.kind == Kind::Label && control.background.source == Colour::Source::Transparent);
    return Face{.fill = seeThrough ? kTransparent : window,
                .text = text,
                .standIn = control.kind == Kind::Image && shown ? shown->standIn : StandIn{},
                .windowFrame = control.kind == Kind::PictureBox && control.parent == kOnWindow};
}

}  // namespace ombrix::forms
