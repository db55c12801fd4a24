// What the skinned controls draw: the panel, the close button's looks, the title icon over the
// panel, and labels that leave nothing of an older caption behind.
#include <windows.h>

#include <algorithm>

#include "platform/win32/form_pictures.h"
#include "platform/win32/form_window.h"
#include "tests/win32_check/check.h"
#include "tests/ui_win32/support.h"
#include "resources/update_forms.h"

namespace ombrix::uitest {
namespace {

const forms::Control& Def(int id) {
    for (const forms::Control& control : forms::kForm1.controls) {
        if (control.id == id) {
            return control;
        }
    }
    return forms::kForm1.controls[0];
}

Pixels RenderControl(FormWindow& form, int id) {
    const forms::Control& def = Def(id);
    return Render(form.controlHandle(id), def.width, def.height);
}

// The panel's pixels behind a control of the picture box.
Pixels PanelBehind(const Pixels& panel, int id) {
    const forms::Control& def = Def(id);
    return Crop(panel, def.x, def.y, def.width, def.height);
}

int CountDifferent(const Pixels& a, const Pixels& b) {
    int different = 0;
    for (std::size_t i = 0; i < a.rgb.size() && i < b.rgb.size(); ++i) {
        different += a.rgb[i] != b.rgb[i];
    }
    return different;
}

// A pixel of the bitmap that a control's designed picture is expanded into at 96 dpi.
std::uint32_t PicturePixel(int id, int x, int y) {
    const auto picture = LoadPicture(GetModuleHandleW(nullptr), Def(id).picture, 96);
    if (!picture) {
        return 0xFF000000;  // matches no pixel of a screen
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, picture->bitmap.get());
    const COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, previous);
    DeleteDC(dc);
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

}  // namespace

WIN32_TEST(PanelShowsTheBackgroundUnscaled) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    const Pixels panel = RenderControl(form, form1::Picture1);
    for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {170, 50}, {339, 99}, {100, 110}}) {
        CHECK_EQ(panel.at(x, y), PicturePixel(form1::Picture1, x, y));
    }
    // The bitmap is 340 wide; the box's own colour fills the five columns beyond it.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    CHECK_EQ(panel.at(342, 50),
             std::uint32_t((GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face)));
}

WIN32_TEST(CloseButtonShowsThePictureItIsGiven) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    const Pixels normal = RenderControl(form, form1::closenor);
    const Pixels pressed = RenderControl(form, form1::closedown);
    const Pixels hover = RenderControl(form, form1::closemove);
    CHECK(normal != pressed && normal != hover && pressed != hover);
    CHECK_EQ(normal.at(12, 10), PicturePixel(form1::closenor, 12, 10));

    CHECK(RenderControl(form, form1::close1) == normal);
    form.showPictureOf(form1::close1, form1::closedown);
    CHECK(RenderControl(form, form1::close1) == pressed);
    form.showPictureOf(form1::close1, form1::closemove);
    CHECK(RenderControl(form, form1::close1) == hover);
    form.showPictureOf(form1::close1, form1::closenor);
    CHECK(RenderControl(form, form1::close1) == normal);
    // The holders keep their own pictures.
    CHECK(RenderControl(form, form1::closedown) == pressed);
}

WIN32_TEST(HighContrastDrawsTheUsersColoursInsteadOfTheSkin) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    const Pixels skinned = RenderControl(form, form1::close1);
    auto rgb = [](int index) {
        const COLORREF colour = GetSysColor(index);
        return std::uint32_t((GetRValue(colour) << 16) | (GetGValue(colour) << 8) |
                             GetBValue(colour));
    };
    const std::uint32_t window = rgb(COLOR_WINDOW);
    const std::uint32_t text = rgb(COLOR_WINDOWTEXT);
    ASSERT(window != text);

    form.setContrast(forms::Contrast::High);
    const Pixels panel = RenderControl(form, form1::Picture1);
    CHECK_EQ(panel.at(170, 40), window);
    CHECK_EQ(panel.at(1, 1), window);
    for (auto [x, y] : {std::pair{0, 0}, {170, 0}, {0, 50}, {339, 50}, {170, 99}}) {
        CHECK_EQ(panel.at(x, y), text);  // a frame around the client area
    }
    const Pixels icon = RenderControl(form, form1::Image1);
    CHECK(std::all_of(icon.rgb.begin(), icon.rgb.end(), [&](auto p) { return p == window; }));

    // A cross in the text colour, outlined once when hovered and twice when pressed.
    const Pixels cross = RenderControl(form, form1::close1);
    const Pixels middle = Crop(cross, 4, 4, 16, 12);
    CHECK(std::count(middle.rgb.begin(), middle.rgb.end(), text) >= 6);
    CHECK_EQ(cross.at(0, 0), window);
    form.showPictureOf(form1::close1, form1::closemove);
    const Pixels hover = RenderControl(form, form1::close1);
    CHECK(hover.at(0, 0) == text && hover.at(1, 1) == window);
    CHECK(Crop(hover, 4, 4, 16, 12) == middle);
    form.showPictureOf(form1::close1, form1::closedown);
    const Pixels pressed = RenderControl(form, form1::close1);
    CHECK(pressed.at(1, 1) == text && pressed.at(2, 2) == window);

    form.setText(form1::Label3, L"正在连接服务器");
    const Pixels status = RenderControl(form, form1::Label3);
    CHECK(std::count(status.rgb.begin(), status.rgb.end(), text) > 20);

    form.setContrast(forms::Contrast::Normal);
    form.showPictureOf(form1::close1, form1::closenor);
    CHECK(RenderControl(form, form1::close1) == skinned);
}

WIN32_TEST(TitleIconShowsThePanelThroughItsTransparentColour) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    const auto picture = LoadPicture(GetModuleHandleW(nullptr), Def(form1::Image1).picture, 96);
    ASSERT(picture.has_value());
    DIBSECTION dib{};
    GetObjectW(picture->bitmap.get(), sizeof(dib), &dib);
    const auto* bits = static_cast<const std::uint32_t*>(dib.dsBm.bmBits);
    ASSERT(bits != nullptr && picture->width == 16 && picture->height == 16);
    const Pixels icon = RenderControl(form, form1::Image1);
    const Pixels behind = PanelBehind(RenderControl(form, form1::Picture1), form1::Image1);
    int transparent = 0;
    int opaque = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const std::uint32_t pixel = bits[y * 16 + x];  // top-down, premultiplied
            if (pixel >> 24 == 0) {
                ++transparent;
                CHECK_EQ(icon.at(x, y), behind.at(x, y));
            } else {
                ++opaque;
                CHECK_EQ(icon.at(x, y), pixel & 0xFFFFFF);
            }
        }
    }
    CHECK(transparent > 0 && opaque > 0);
}

WIN32_TEST(TransparentLabelsRepaintWithoutTraces) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    const Pixels panel = RenderControl(form, form1::Picture1);
    const Pixels behindStatus = PanelBehind(panel, form1::Label3);

    CHECK(RenderControl(form, form1::Label3) == behindStatus);  // empty at first
    form.setText(form1::Label3, L"正在下载所需文件，请耐心等待 ......");
    const Pixels longText = RenderControl(form, form1::Label3);
    CHECK(CountDifferent(longText, behindStatus) > 50);
    form.setText(form1::Label3, L"文件下载完成...");
    const Pixels shortText = RenderControl(form, form1::Label3);
    // Nothing of the longer text stays right of the shorter one.
    const int right = 150;
    CHECK(Crop(shortText, right, 0, 305 - right, 17) ==
          Crop(behindStatus, right, 0, 305 - right, 17));
    form.setText(form1::Label3, L"");
    CHECK(RenderControl(form, form1::Label3) == behindStatus);

    // The title: white text on the panel.
    const Pixels title = RenderControl(form, form1::Label4);
    int white = 0;
    for (std::uint32_t pixel : title.rgb) {
        white += pixel == 0xFFFFFF;
    }
    CHECK(white > 20);
    CHECK_EQ(title.at(136, 16), PanelBehind(panel, form1::Label4).at(136, 16));
}

WIN32_TEST(StatusLineOnScreenKeepsNothingOfTheOldText) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    form.show();
    PumpFor(50);
    HWND label = form.controlHandle(form1::Label3);
    const Pixels empty = Capture(label, 305, 17);
    form.setText(form1::Label3, L"正在下载所需文件，请耐心等待 ......");
    PumpFor(30);
    CHECK(CountDifferent(Capture(label, 305, 17), empty) > 50);
    form.setText(form1::Label3, L"发送请求已成功");
    PumpFor(30);
    const Pixels shorter = Capture(label, 305, 17);
    CHECK(Crop(shorter, 150, 0, 155, 17) == Crop(empty, 150, 0, 155, 17));
    CHECK(shorter == RenderControl(form, form1::Label3));
}

WIN32_TEST(OpaqueLabelsFillTheirColour) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    CHECK_EQ(RenderControl(form, form1::Label1).at(56, 16), std::uint32_t{0xFFFFFF});
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    CHECK_EQ(
        RenderControl(form, form1::Label2).at(56, 16),
        std::uint32_t((GetRValue(window) << 16) | (GetGValue(window) << 8) | GetBValue(window)));
}

}  // namespace ombrix::uitest
