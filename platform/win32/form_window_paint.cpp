// How the window draws the controls that the system classes would draw wrongly for a skin:
// labels over a picture, images with transparent parts, and the picture box itself; in
// high-contrast mode, the same controls in the user's colours without the skin.
#include "platform/win32/form_controls.h"
#include "platform/win32/form_window.h"

namespace ombrix {
namespace {

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// `width` pixels inside the edges of `rect`.
void Outline(HDC dc, const RECT& rect, int width, COLORREF colour) {
    Fill(dc, RECT{rect.left, rect.top, rect.right, rect.top + width}, colour);
    Fill(dc, RECT{rect.left, rect.bottom - width, rect.right, rect.bottom}, colour);
    Fill(dc, RECT{rect.left, rect.top, rect.left + width, rect.bottom}, colour);
    Fill(dc, RECT{rect.right - width, rect.top, rect.right, rect.bottom}, colour);
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
    const forms::Face face = forms::FaceOf(def, designedPicture(control.picture), contrast_);
    const RECT rect = FaceRect(control.place);
    if (face.fill.source == forms::Colour::Source::Transparent) {
        paintParentFace(control, dc);
    } else {
        Fill(dc, rect, FillColourOf(def.kind, face.fill));
    }
    // Pictures are drawn unstretched (they are made for the resolution) from the top-left
    // corner; the rest is the box's colour.
    if (const PictureImage* picture = face.picture ? pictureOf(control) : nullptr) {
        DrawPicture(dc, *picture, 0, 0);
    }
    const COLORREF text = TextColourOf(def.kind, face.text);
    const int line = forms::LineWidth(layout_.dpi);
    if (face.windowFrame) {
        const forms::Rect& client = layout_.client;
        const RECT window{-control.place.x, -control.place.y, client.width - control.place.x,
                          client.height - control.place.y};
        Outline(dc, window, line, text);
    }
    if (face.standIn.mark) {
        paintMark(control, dc, face.standIn.mark, text);
    }
    if (face.standIn.outline > 0) {
        Outline(dc, rect, face.standIn.outline * line, text);
    }
    if (def.kind == forms::Kind::Label) {
        paintLabelText(control, dc, text);
    }
}

void FormWindow::paintParentFace(const ControlWindow& control, HDC dc) const {
    const ControlWindow* parent =
        control.def->parent == forms::kOnWindow ? nullptr : find(control.def->parent);
    if (!parent || parent->def->kind != forms::Kind::PictureBox) {
        const forms::Colour face = contrast_ == forms::Contrast::High
                                       ? forms::System(forms::SystemColour::Window)
                                       : form_.background;
        Fill(dc, FaceRect(control.place), ColourRef(face, GetSysColor(COLOR_BTNFACE)));
        return;
    }
    // The parent's face, shifted so that the part behind this control lands at 0, 0.
    POINT previous{};
    SetViewportOrgEx(dc, -control.place.x, -control.place.y, &previous);
    paintFace(*parent, dc);
    SetViewportOrgEx(dc, previous.x, previous.y, nullptr);
}

void FormWindow::paintLabelText(const ControlWindow& control, HDC dc, COLORREF colour) const {
    const std::wstring caption = WindowText(control.hwnd);
    if (caption.empty()) {
        return;
    }
    HGDIOBJ font =
        control.font ? static_cast<HGDIOBJ>(control.font) : GetStockObject(DEFAULT_GUI_FONT);
    SelectedObject selected(dc, font);
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    RECT rect = FaceRect(control.place);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
              DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
}

void FormWindow::paintMark(const ControlWindow& control, HDC dc, wchar_t mark,
                           COLORREF colour) const {
    // The window's font at about the control's height, so the mark fills the picture's place.
    const forms::Font* designed = form_.font ? form_.font : control.def->font;
    LOGFONTW font{};
    font.lfHeight = -(control.place.height * 4 / 5);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    if (designed) {
        lstrcpynW(font.lfFaceName, designed->face, LF_FACESIZE);
        font.lfCharSet = static_cast<BYTE>(designed->charset);
    }
    unique_hfont handle(CreateFontIndirectW(&font));
    SelectedObject selected(
        dc, handle ? static_cast<HGDIOBJ>(handle.get()) : GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    RECT rect = FaceRect(control.place);
    DrawTextW(dc, &mark, 1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace ombrix
