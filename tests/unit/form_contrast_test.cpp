#include <gtest/gtest.h>

#include "platform/form_contrast.h"
#include "resources/update_forms.h"

namespace ombrix::forms {
namespace {

const Control& Def(int id) {
    for (const Control& control : kForm1.controls) {
        if (control.id == id) {
            return control;
        }
    }
    throw std::out_of_range("no such control");
}

Face Of(int id, Contrast contrast, const Picture* shown = nullptr) {
    const Control& control = Def(id);
    return FaceOf(control, shown ? shown : &control.picture, contrast);
}

const Colour kWindow = System(SystemColour::Window);
const Colour kWindowText = System(SystemColour::WindowText);

TEST(ContrastTest, NormalLookIsTheDesign) {
    for (const Control& control : kForm1.controls) {
        const Face face = FaceOf(control, &control.picture, Contrast::Normal);
        SCOPED_TRACE(control.id);
        EXPECT_EQ(face.fill, control.kind == Kind::Image ? kTransparent : control.background);
        EXPECT_EQ(face.text, control.foreground);
        const bool pictured = control.kind == Kind::Image || control.kind == Kind::PictureBox;
        EXPECT_EQ(face.picture, pictured ? &control.picture : nullptr);
        EXPECT_EQ(face.standIn, StandIn{});
        EXPECT_FALSE(face.windowFrame);
    }
}

TEST(ContrastTest, HighContrastUsesTheUsersColoursAndNoSkin) {
    const Face panel = Of(form1::Picture1, Contrast::High);
    EXPECT_EQ(panel.fill, kWindow);
    EXPECT_EQ(panel.picture, nullptr);
    EXPECT_TRUE(panel.windowFrame);
    EXPECT_EQ(panel.text, kWindowText);  // the frame's colour

    for (int label : {form1::Label4, form1::Label3}) {  // white and button-text designs
        const Face face = Of(label, Contrast::High);
        EXPECT_EQ(face.fill, kTransparent) << label;
        EXPECT_EQ(face.text, kWindowText) << label;
    }
    EXPECT_EQ(Of(form1::Label1, Contrast::High).fill, kWindow);  // designed white

    const Face icon = Of(form1::Image1, Contrast::High);
    EXPECT_EQ(icon.picture, nullptr);
    EXPECT_EQ(icon.standIn, StandIn{});
}

TEST(ContrastTest, CloseButtonIsACrossOutlinedForHoverAndPress) {
    const Picture& normal = Def(form1::closenor).picture;
    const Picture& hover = Def(form1::closemove).picture;
    const Picture& pressed = Def(form1::closedown).picture;
    EXPECT_EQ(Of(form1::close1, Contrast::High, &normal).standIn, (StandIn{L'×', 0}));
    EXPECT_EQ(Of(form1::close1, Contrast::High, &hover).standIn, (StandIn{L'×', 1}));
    EXPECT_EQ(Of(form1::close1, Contrast::High, &pressed).standIn, (StandIn{L'×', 2}));
    EXPECT_EQ(Of(form1::close1, Contrast::High, &normal).picture, nullptr);
}

}  // namespace
}  // namespace ombrix::forms
