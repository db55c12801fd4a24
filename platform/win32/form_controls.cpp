#include "platform/win32/form_controls.h"

#include <commctrl.h>

namespace ombrix {
namespace {

using forms::Kind;

struct Styles {
    DWORD style = 0;
    DWORD exStyle = 0;
};

Styles StylesOf(const forms::Control& control) {
    Styles styles{.style = WS_CHILD | WS_CLIPSIBLINGS};
    if (control.visible) {
        styles.style |= WS_VISIBLE;
    }
    switch (control.kind) {
        case Kind::PushButton:
            styles.style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case Kind::Edit:
            styles.style |= WS_TABSTOP | ES_AUTOHSCROLL | (control.readOnly ? ES_READONLY : 0);
            styles.exStyle |= WS_EX_CLIENTEDGE;
            break;
        case Kind::PictureBox:
            // SS_NOTIFY: statics are otherwise transparent to the mouse.
            styles.style |= SS_OWNERDRAW | SS_NOTIFY | WS_CLIPCHILDREN;
            styles.exStyle |= WS_EX_CONTROLPARENT;
            break;
        case Kind::ProgressBar:
            styles.style |= PBS_SMOOTH;
            break;
        case Kind::Label:
            styles.style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
            break;
        case Kind::Image:
            styles.style |= IsPushButtonPicture(control) ? BS_OWNERDRAW : SS_OWNERDRAW | SS_NOTIFY;
            break;
    }
    return styles;
}

COLORREF SystemColourRef(forms::SystemColour colour) {
    switch (colour) {
        case forms::SystemColour::ButtonFace:
            return GetSysColor(COLOR_BTNFACE);
        case forms::SystemColour::ButtonText:
            return GetSysColor(COLOR_BTNTEXT);
        case forms::SystemColour::Window:
            return GetSysColor(COLOR_WINDOW);
        case forms::SystemColour::WindowText:
            return GetSysColor(COLOR_WINDOWTEXT);
    }
    return GetSysColor(COLOR_BTNFACE);
}

bool IsEditLike(Kind kind) {
    return kind == Kind::Edit;
}

}  // namespace

bool IsPushButtonPicture(const forms::Control& control) {
    return control.kind == Kind::Image &&
           control.accessible.role == forms::Accessible::Role::PushButton;
}

const wchar_t* ControlClassName(const forms::Control& control) {
    if (IsPushButtonPicture(control)) {
        return WC_BUTTONW;
    }
    switch (control.kind) {
        case Kind::PushButton:
            return WC_BUTTONW;
        case Kind::Edit:
            return WC_EDITW;
        case Kind::ProgressBar:
            return PROGRESS_CLASSW;
        case Kind::PictureBox:
        case Kind::Label:
        case Kind::Image:
            return WC_STATICW;
    }
    return nullptr;
}

bool IsPaintedByForm(Kind kind) {
    return kind == Kind::PictureBox || kind == Kind::Label || kind == Kind::Image;
}

HWND CreateControlWindow(const forms::Control& control, const forms::Rect& place, HWND parent,
                         HINSTANCE instance) {
    const wchar_t* className = ControlClassName(control);
    if (!className) {
        return nullptr;
    }
    const Styles styles = StylesOf(control);
    // A picture's name is its window text, which is what screen readers read; it is never drawn.
    const wchar_t* text = control.accessible.name ? control.accessible.name : control.text;
    HWND window = CreateWindowExW(
        styles.exStyle, className, text, styles.style, place.x, place.y, place.width, place.height,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
    if (window && control.kind == Kind::ProgressBar) {
        SendMessageW(window, PBM_SETRANGE32, control.range.minimum, control.range.maximum);
        SendMessageW(window, PBM_SETPOS, control.range.value, 0);
    }
    return window;
}

unique_hfont CreateDesignedFont(const forms::Font& font, int dpi) {
    const int height = -forms::FontPixelHeight(font, dpi);
    return unique_hfont(CreateFontW(height, 0, 0, 0, font.weight, font.italic, font.underline,
                                    font.strikeOut, static_cast<DWORD>(font.charset),
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                    DEFAULT_PITCH | FF_DONTCARE, font.face));
}

COLORREF ColourRef(const forms::Colour& colour, COLORREF fallback) {
    switch (colour.source) {
        case forms::Colour::Source::Rgb:
            return RGB(colour.red, colour.green, colour.blue);
        case forms::Colour::Source::System:
            return SystemColourRef(colour.system);
        case forms::Colour::Source::Default:
        case forms::Colour::Source::Transparent:
            break;
    }
    return fallback;
}

COLORREF TextColourOf(Kind kind, const forms::Colour& colour) {
    return ColourRef(colour, GetSysColor(IsEditLike(kind) ? COLOR_WINDOWTEXT : COLOR_BTNTEXT));
}

COLORREF FillColourOf(Kind kind, const forms::Colour& colour) {
    return ColourRef(colour, GetSysColor(IsEditLike(kind) ? COLOR_WINDOW : COLOR_BTNFACE));
}

COLORREF ForegroundOf(const forms::Control& control) {
    return TextColourOf(control.kind, control.foreground);
}

COLORREF BackgroundOf(const forms::Control& control) {
    return FillColourOf(control.kind, control.background);
}

bool HasDesignedColours(const forms::Control& control) {
    return control.foreground.source != forms::Colour::Source::Default ||
           control.background.source != forms::Colour::Source::Default;
}

forms::Contrast SystemContrast() {
    HIGHCONTRASTW settings{};
    settings.cbSize = sizeof(settings);
    const bool on = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(settings), &settings, 0) &&
                    (settings.dwFlags & HCF_HIGHCONTRASTON);
    return on ? forms::Contrast::High : forms::Contrast::Normal;
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

}  // namespace ombrix
