#pragma once
// The updater's two windows as data. Places and sizes are pixels at 96 dpi (the windows were laid
// out in twips, 15 to the pixel); a place is the top-left corner within the parent's client area.
// Platform-neutral on purpose: the Win32 side builds real windows from it, and anything else
// (tests, tools) can read it without <windows.h>.
#include <cstdint>
#include <span>

#include "resources/resource_ids.h"
#include "updater/Controls.h"

// The update URL is fixed at build time (CMake cache variable UPDATE_URL).
#ifndef OMBRIX_UPDATE_URL
#define OMBRIX_UPDATE_URL L"http://update.example.com/soft/updates/ombrix/ombrix"
#endif

namespace ombrix::forms {

enum class Kind {
    Component,  // no window of its own (the transfer component)
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

enum class PictureFormat { None, Bitmap, Gif };

// A picture held in the program's resources: bitmaps as BITMAP, GIFs as RCDATA.
struct Picture {
    PictureFormat format = PictureFormat::None;
    int resource = 0;
};

// Designed range of a progress bar.
struct Range {
    int minimum = 0;
    int maximum = 100;
    int value = 0;
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

inline constexpr const wchar_t* kWindowCaption = L"Tarnell升级程序";

// The status texts are Chinese, so the window's default font must cover Simplified Chinese.
inline constexpr Font kChineseFont{
    .face = L"SimSun", .hundredthsOfPoint = 900, .weight = 400, .charset = kGb2312Charset};
inline constexpr Font kTitleFont{
    .face = L"Arial Black", .hundredthsOfPoint = 975, .weight = 900, .charset = kAnsiCharset};

// Rows in the order of the window definition; the id is 1000 + the row.
inline constexpr Control kForm1Controls[] = {
    {.id = form1::Inet1, .kind = Kind::Component, .visible = false},
    {.id = form1::Command2,
     .kind = Kind::PushButton,
     .x = 320,
     .y = 232,
     .width = 65,
     .height = 33,
     .text = L"取消下载",
     .tabIndex = 4},
    {.id = form1::Text2,
     .kind = Kind::Edit,
     .x = 208,
     .y = 200,
     .width = 233,
     .height = 18,
     .text = L".\\",
     .tabIndex = 1,
     .readOnly = true},
    {.id = form1::Text1,
     .kind = Kind::Edit,
     .x = 0,
     .y = 72,
     .width = 353,
     .height = 18,
     .text = OMBRIX_UPDATE_URL,
     .visible = false,
     .tabIndex = 0},
    {.id = form1::Picture1,
     .kind = Kind::PictureBox,
     .x = 0,
     .y = 0,
     .width = 345,
     .height = 113,
     .tabIndex = 5,
     .picture = {PictureFormat::Bitmap, IDB_SKIN_BACKGROUND}},
    {.id = form1::ProgressBar1,
     .parent = form1::Picture1,
     .kind = Kind::ProgressBar,
     .x = 16,
     .y = 48,
     .width = 305,
     .height = 17,
     .tabIndex = 6,
     .range = {.minimum = 0, .maximum = 100, .value = 0}},
    {.id = form1::Label7,
     .parent = form1::Picture1,
     .kind = Kind::Label,
     .x = 160,
     .y = 32,
     .width = 65,
     .height = 17,
     .text = L"ombrix",
     .visible = false,
     .tabIndex = 10},
    {.id = form1::Label5,
     .parent = form1::Picture1,
     .kind = Kind::Label,
     .x = 72,
     .y = 32,
     .width = 65,
     .height = 17,
     .text = L"Ombrix",
     .visible = false,
     .tabIndex = 9},
    {.id = form1::Image1,
     .parent = form1::Picture1,
     .kind = Kind::Image,
     .x = 8,
     .y = 8,
     .width = 16,
     .height = 16,
     .picture = {PictureFormat::Gif, IDR_SKIN_TITLE_GIF}},
    {.id = form1::Label4,
     .parent = form1::Picture1,
     .kind = Kind::Label,
     .x = 32,
     .y = 8,
     .width = 137,
     .height = 17,
     .text = L"Ombrix Update",
     .foreground = Rgb(255, 255, 255),
     .background = kTransparent,
     .font = &kTitleFont,
     .tabIndex = 8},
    {.id = form1::closenor,
     .parent = form1::Picture1,
     .kind = Kind::Image,
     .x = 320,
     .y = 80,
     .width = 24,
     .height = 20,
     .visible = false,
     .picture = {PictureFormat::Bitmap, IDB_SKIN_CLOSE_NORMAL}},
    {.id = form1::closedown,
     .parent = form1::Picture1,
     .kind = Kind::Image,
     .x = 312,
     .y = 56,
     .width = 24,
     .height = 20,
     .visible = false,
     .picture = {PictureFormat::Bitmap, IDB_SKIN_CLOSE_PRESSED}},
    {.id = form1::closemove,
     .parent = form1::Picture1,
     .kind = Kind::Image,
     .x = 304,
     .y = 32,
     .width = 24,
     .height = 20,
     .visible = false,
     .picture = {PictureFormat::Bitmap, IDB_SKIN_CLOSE_HOVER}},
    {.id = form1::close1,
     .parent = form1::Picture1,
     .kind = Kind::Image,
     .x = 312,
     .y = 8,
     .width = 24,
     .height = 20,
     .picture = {PictureFormat::Bitmap, IDB_SKIN_CLOSE_NORMAL}},
    {.id = form1::Label3,
     .parent = form1::Picture1,
     .kind = Kind::Label,
     .x = 16,
     .y = 72,
     .width = 305,
     .height = 17,
     .text = L"",
     .foreground = System(SystemColour::ButtonText),
     .background = kTransparent,
     .font = &kChineseFont,
     .tabIndex = 7},
    {.id = form1::Label2,
     .kind = Kind::Label,
     .x = 136,
     .y = 200,
     .width = 57,
     .height = 17,
     .text = L"保存路径:",
     .foreground = System(SystemColour::WindowText),
     .background = System(SystemColour::Window),
     .tabIndex = 3},
    {.id = form1::Label1,
     .kind = Kind::Label,
     .x = 136,
     .y = 176,
     .width = 57,
     .height = 17,
     .text = L"下载地址:",
     .foreground = System(SystemColour::WindowText),
     .background = Rgb(255, 255, 255),
     .tabIndex = 2},
};

inline constexpr Form kForm1{
    .caption = kWindowCaption,
    .x = 211,
    .y = 218,
    .clientWidth = 340,
    .clientHeight = 100,
    .frameless = true,
    .taskbarButton = false,
    .icon = IDI_UPDATE_APP,
    .font = &kChineseFont,
    .controls = kForm1Controls,
};

inline constexpr Timer kForm2Timers[] = {
    {.id = form2::Timer1, .intervalMs = form2::kTimer1IntervalMs, .enabled = true},
};

inline constexpr Form kForm2{
    .caption = kWindowCaption,
    .x = 442,
    .y = 280,
    .clientWidth = 6,
    .clientHeight = 6,
    .frameless = true,
    .taskbarButton = false,
    .icon = IDI_UPDATE_FORM2,
    .font = &kChineseFont,
    .timers = kForm2Timers,
};

}  // namespace ombrix::forms
