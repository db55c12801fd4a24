// How the window draws the controls that the system classes would draw wrongly for a skin:
// labels over a picture, images with transparent parts, and the picture box itself.
#include "platform/win32/form_controls.h"
#include "platform/win32/form_window.h"

namespace ombrix {
namespace {

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

RECT FaceRect(const forms::Rect& place) {
    return RECT{0, 0, place.width, place.height};
}

}  // namespace

void FormWindow::paintControl(const ControlWindow& control, HDC dc) const {
    MemoryCanvas canvas(dc, control.place.width, control.place.height);
    if (!canvas.valid()) {
        return;
    }
    paintFace(control, canvas.dc());
    canvas.copyTo(dc);
}

void FormWindow::paintFace(const ControlWindow& control, HDC dc) const {
    const forms::Control& def = *control.def;
    const PictureImage* picture = pictureOf(control);
    switch (def.kind) {
        case forms::Kind::PictureBox:
            // Pictures are drawn unstretched (they are made for the resolution) from the top-left
            // corner; the rest is the box's colour.
            Fill(dc, FaceRect(control.place), BackgroundOf(def));
            if (picture) {
                DrawPicture(dc, *picture, 0, 0);
            }
            break;
        case forms::Kind::Label:
            if (def.background.source == forms::Colour::Source::Transparent) {
                paintParentFace(control, dc);
            } else {
                Fill(dc, FaceRect(control.place), BackgroundOf(def));
            }
            paintLabelText(control, dc);
            break;
        case forms::Kind::Image:
            // An image has no background of its own: its transparent parts show its parent.
            paintParentFace(control, dc);
            if (picture) {
                DrawPicture(dc, *picture, 0, 0);
            }
            break;
        default:
            break;
    }
}

void FormWindow::paintParentFace(const ControlWindow& control, HDC dc) const {
    const ControlWindow* parent =
        control.def->parent == forms::kOnWindow ? nullptr : find(control.def->parent);
    if (!parent || parent->def->kind != forms::Kind::PictureBox) {
        Fill(dc, FaceRect(control.place), ColourRef(form_.background, GetSysColor(COLOR_BTNFACE)));
        return;
    }
    // The parent's face, shifted so that the part behind this control lands at 0, 0.
    POINT previous{};
    SetViewportOrgEx(dc, -control.place.x, -control.place.y, &previous);
    paintFace(*parent, dc);
    SetViewportOrgEx(dc, previous.x, previous.y, nullptr);
}

void FormWindow::paintLabelText(const ControlWindow& control, HDC dc) const {
    const std::wstring caption = WindowText(control.hwnd);
    if (caption.empty()) {
        return;
    }
    HGDIOBJ font =
        control.font ? static_cast<HGDIOBJ>(control.font) : GetStockObject(DEFAULT_GUI_FONT);
    SelectedObject selected(dc, font);
    SetTextColor(dc, ForegroundOf(*control.def));
    SetBkMode(dc, TRANSPARENT);
    RECT rect = FaceRect(control.place);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
}

}  // namespace ombrix
