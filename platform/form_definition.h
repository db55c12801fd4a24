#pragma once
// What a window definition is made of: the kinds of controls, their colours, fonts, pictures and
// places, and the windows that hold them. Places and sizes are pixels at 96 dpi (windows are laid
// out in twips, 15 to the pixel); a place is the top-left corner within the parent's client area.
// Platform-neutral on purpose: the Win32 side builds real windows from it, and anything else
// (tests, tools) can read it without <windows.h>.
#include <cstdint>
#include <span>

namespace ombrix::forms {

enum class Kind {
    PushButton,
    Edit,
    PictureBox,  // a picture that can hold other controls
    ProgressBar,
    Label,
    Image,
};

enum class SystemColour { ButtonFace, ButtonText, Window, WindowText };

struct Colour {
    enum class Source { Default, Transparent, Rgb, System };
    Source source = Source::Default;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    SystemColour system = SystemColour::ButtonFace;
    friend bool operator==(const Colour&, const Colour&) = default;
};

// Default: whatever the control's kind uses when nothing is designed.
inline constexpr Colour kDefaultColour{};
inline constexpr Colour kTransparent{.source = Colour::Source::Transparent};
constexpr Colour Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return {.source = Colour::Source::Rgb, .red = red, .green = green, .blue = blue};
}
constexpr Colour System(SystemColour colour) {
    return {.source = Colour::Source::System, .system = colour};
}

// Character sets as fonts number them.
inline constexpr int kAnsiCharset = 0;
inline constexpr int kGb2312Charset = 134;

struct Font {
    const wchar_t* face = L"";
    int hundredthsOfPoint = 900;
    int weight = 400;  // 400 normal, 700 bold, 900 heavy
    int charset = kAnsiCharset;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

// The display scales, in per cent of 96 dpi, at which every picture is stored. The rendering at
// kPictureScales[i] is the resource `resource + i * kPictureScaleStep`.
inline constexpr int kPictureScales[] = {100, 125, 150, 200};
inline constexpr int kPictureScaleStep = 10;

// What high-contrast mode draws in place of a picture, in the user's text colour: nothing, or a
// mark (one character, centred) with an outline of `outline` lines around the control.
struct StandIn {
    wchar_t mark = 0;
    int outline = 0;
    friend bool operator==(const StandIn&, const StandIn&) = default;
};

// A picture held in the program's resources (palette and runs, as RCDATA) and expanded at start
// into a bitmap of `bitsPerPixel` bits, width x height pixels at 96 dpi and proportionally more
// at other scales.
struct Picture {
    int resource = 0;  // 0: no picture
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32;
    bool transparent = false;  // its transparent parts show what lies behind the control
    // The top panelHeight rows are a panel: a vertical gradient inside a one-pixel frame. At a
    // scale without a rendering of its own the panel is drawn anew at the exact size.
    int panelHeight = 0;
    StandIn standIn = {};
};

// Designed range of a progress bar.
struct Range {
    int minimum = 0;
    int maximum = 100;
    int value = 0;
};

// What a screen reader is told of a control beyond what its kind and text say.
struct Accessible {
    enum class Role {
        OfKind,      // what the kind is (a label static text, an image a graphic, ...)
        PushButton,  // a picture that acts as a button
    };
    Role role = Role::OfKind;
    const wchar_t* name = nullptr;  // for a control without a text of its own
    // A polite live region: each new text is announced without the user moving there.
    bool live = false;
};

inline constexpr int kOnWindow = 0;  // parent: the window itself
inline constexpr int kNoTabStop = -1;

struct Control {
    int id = 0;
    int parent = kOnWindow;  // kOnWindow or the id of a picture box
    Kind kind = Kind::Label;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    const wchar_t* text = L"";  // caption or text
    Colour foreground = kDefaultColour;
    Colour background = kDefaultColour;
    const Font* font = nullptr;  // nullptr: the window's font
    bool visible = true;
    int tabIndex = kNoTabStop;
    Picture picture = {};
    bool readOnly = false;  // edits only
    Range range = {};       // progress bars only
    Accessible accessible = {};
};

struct Timer {
    int id = 0;
    unsigned intervalMs = 0;
    bool enabled = false;  // runs from the moment the window is created
};

struct Form {
    const wchar_t* caption = L"";
    int x = 0;  // screen place of the client area's top-left corner
    int y = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    bool frameless = true;  // no border, no title bar, no minimize or maximize box
    bool taskbarButton = false;
    int icon = 0;
    Colour background = kDefaultColour;
    const Font* font = nullptr;  // the window's default font, inherited by its controls
    std::span<const Control> controls = {};
    std::span<const Timer> timers = {};
};

}  // namespace ombrix::forms
