#pragma once
// The updater's two windows as data, in the terms of platform/form_definition.h.
#include "platform/form_definition.h"
#include "resources/resource_ids.h"
#include "updater/Controls.h"

// The update URL is fixed at build time (CMake cache variable UPDATE_URL).
#ifndef OMBRIX_UPDATE_URL
#define OMBRIX_UPDATE_URL L"http://update.example.com/soft/updates/ombrix/ombrix"
#endif

namespace ombrix::forms {

// Application title: the title of a message box that gives none of its own.
inline constexpr const wchar_t* kApplicationTitle = L"update";
inline constexpr const wchar_t* kWindowCaption = L"Tarnell升级程序";

// Designed settings of the transfer component Inet1.
inline constexpr int kInet1RemotePort = 80;
inline constexpr int kInet1RequestTimeoutSeconds = 60;

// The status texts are Chinese, so the window's default font must cover Simplified Chinese.
inline constexpr Font kChineseFont{
    .face = L"SimSun", .hundredthsOfPoint = 900, .weight = 400, .charset = kGb2312Charset};
inline constexpr Font kTitleFont{
    .face = L"Arial Black", .hundredthsOfPoint = 975, .weight = 900, .charset = kAnsiCharset};

// The close button's three looks.
inline constexpr Picture kCloseNormal{
    .resource = IDB_SKIN_CLOSE_NORMAL, .width = 24, .height = 20, .bitsPerPixel = 24};
inline constexpr Picture kClosePressed{
    .resource = IDB_SKIN_CLOSE_PRESSED, .width = 24, .height = 20, .bitsPerPixel = 24};
inline constexpr Picture kCloseHover{
    .resource = IDB_SKIN_CLOSE_HOVER, .width = 24, .height = 20, .bitsPerPixel = 24};

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
     .picture = {.resource = IDB_SKIN_BACKGROUND,
                 .width = 340,
                 .height = 300,
                 .bitsPerPixel = 32,
                 .panelHeight = 100}},
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
     .picture = {.resource = IDB_SKIN_TITLE,
                 .width = 16,
                 .height = 16,
                 .bitsPerPixel = 32,
                 .transparent = true}},
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
     .picture = kCloseNormal},
    {.id = form1::closedown,
     .parent = form1::Picture1,
     .kind = Kind::Image,
     .x = 312,
     .y = 56,
     .width = 24,
     .height = 20,
     .visible = false,
     .picture = kClosePressed},
    {.id = form1::closemove,
     .parent = form1::Picture1,
     .kind = Kind::Image,
     .x = 304,
     .y = 32,
     .width = 24,
     .height = 20,
     .visible = false,
     .picture = kCloseHover},
    {.id = form1::close1,
     .parent = form1::Picture1,
     .kind = Kind::Image,
     .x = 312,
     .y = 8,
     .width = 24,
     .height = 20,
     .picture = kCloseNormal},
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
    .name = L"Form1",
    .caption = kWindowCaption,
    .x = 211,
    .y = 218,
    .clientWidth = 340,
    .clientHeight = 100,
    .frameless = true,
    .taskbarButton = false,
    .visible = true,
    .icon = IDI_UPDATE_APP,
    .font = &kChineseFont,
    .controls = kForm1Controls,
};

inline constexpr Timer kForm2Timers[] = {
    {.id = form2::Timer1, .intervalMs = 3000, .enabled = true},
};

inline constexpr Form kForm2{
    .name = L"Form2",
    .caption = kWindowCaption,
    .x = 442,
    .y = 280,
    .clientWidth = 6,
    .clientHeight = 6,
    .frameless = true,
    .taskbarButton = false,
    .visible = false,
    .icon = IDI_UPDATE_FORM2,
    .font = &kChineseFont,
    .timers = kForm2Timers,
};

}  // namespace ombrix::forms
