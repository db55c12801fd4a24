// Forms built from their definitions: layout, texts, events, focus and closing.
#include <windows.h>

#include <commctrl.h>

#include "platform/win32/form_window.h"
#include "tests/win32_check/check.h"
#include "tests/ui_win32/support.h"
#include "resources/update_forms.h"

namespace ombrix::uitest {
namespace {

using forms::Kind;

std::wstring ExpectedClass(const forms::Control& control) {
    if (control.accessible.role == forms::Accessible::Role::PushButton) {
        return L"Button";  // what screen readers know as a push button
    }
    switch (control.kind) {
        case Kind::PushButton:
            return L"Button";
        case Kind::Edit:
            return L"Edit";
        case Kind::ProgressBar:
            return L"msctls_progress32";
        default:
            return L"Static";
    }
}

// A small form of its own: a button inside a picture box, and a designed-enabled timer.
constexpr forms::Control kNestedControls[] = {
    {.id = 11, .kind = Kind::PictureBox, .width = 100, .height = 60},
    {.id = 12,
     .parent = 11,
     .kind = Kind::PushButton,
     .x = 10,
     .y = 10,
     .width = 60,
     .height = 24,
     .text = L"OK",
     .tabIndex = 0},
};
constexpr forms::Timer kNestedTimers[] = {{.id = 31, .intervalMs = 20, .enabled = true}};
constexpr forms::Form kNestedForm{.caption = L"nested",
                                  .x = 20,
                                  .y = 20,
                                  .clientWidth = 100,
                                  .clientHeight = 60,
                                  .controls = kNestedControls,
                                  .timers = kNestedTimers};

}  // namespace

WIN32_TEST(MainWindowIsBuiltAsDesigned) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    HWND window = form.handle();

    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    CHECK_EQ(std::wstring(caption), std::wstring(L"Tarnell升级程序"));
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    CHECK((style & WS_POPUP) && !(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU)));
    CHECK(!(style & WS_VISIBLE));  // shown by its owner after loading
    CHECK((exStyle & WS_EX_TOOLWINDOW) && !(exStyle & WS_EX_APPWINDOW));  // no taskbar button
    RECT outer{};
    GetWindowRect(window, &outer);
    CHECK_EQ(outer.left, 211);
    CHECK_EQ(outer.top, 218);
    RECT client{};
    GetClientRect(window, &client);
    CHECK_EQ(client.right, 340);
    CHECK_EQ(client.bottom, 100);
    CHECK(SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0);

    for (const forms::Control& def : forms::kForm1.controls) {
        HWND control = form.controlHandle(def.id);
        if (!CHECK(control != nullptr)) {
            continue;
        }
        CHECK_EQ(GetDlgCtrlID(control), def.id);
        CHECK_EQ(ClassOf(control), ExpectedClass(def));
        HWND parent = def.parent == forms::kOnWindow ? window : form.controlHandle(def.parent);
        CHECK(GetParent(control) == parent);
        const RECT place = RectInParent(control);
        CHECK_EQ(place.left, def.x);
        CHECK_EQ(place.top, def.y);
        CHECK_EQ(place.right - place.left, def.width);
        CHECK_EQ(place.bottom - place.top, def.height);
        CHECK_EQ((GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0, def.visible);
    }

    CHECK_EQ(form.text(form1::Label4), std::wstring(L"Ombrix Update"));
    CHECK_EQ(form.text(form1::Label5), std::wstring(L"Ombrix"));
    CHECK_EQ(form.text(form1::Label7), std::wstring(L"ombrix"));
    CHECK_EQ(form.text(form1::Text1), std::wstring(OMBRIX_UPDATE_URL));
    CHECK_EQ(form.text(form1::Text2), std::wstring(L".\\"));
    CHECK_EQ(form.text(form1::Label3), std::wstring());
    CHECK_EQ(form.text(form1::Command2), std::wstring(L"取消下载"));
    CHECK_EQ(form.text(form1::Label2), std::wstring(L"保存路径:"));
    HWND bar = form.controlHandle(form1::ProgressBar1);
    CHECK_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
    CHECK_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    CHECK(GetWindowLongW(form.controlHandle(form1::Text2), GWL_STYLE) & ES_READONLY);
}

WIN32_TEST(MainWindowLaysItselfOutAgainOnADpiChange) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    RECT suggested{500, 40, 500 + 680, 40 + 200};
    SendMessageW(form.handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(192, 192),
                 reinterpret_cast<LPARAM>(&suggested));
    CHECK_EQ(form.dpi(), 192);
    RECT outer{};
    GetWindowRect(form.handle(), &outer);
    CHECK(EqualRect(&outer, &suggested));
    const RECT close = RectInParent(form.controlHandle(form1::close1));
    CHECK(close.left == 624 && close.top == 16 && close.right == 672 && close.bottom == 56);
    HFONT title =
        reinterpret_cast<HFONT>(SendMessageW(form.controlHandle(form1::Label4), WM_GETFONT, 0, 0));
    LOGFONTW font{};
    GetObjectW(title, sizeof(font), &font);
    CHECK_EQ(font.lfHeight, -26);
}

WIN32_TEST(InstallWindowIsATinyHiddenSpot) {
    Recorder events;
    FormWindow form(forms::kForm2, events);
    HWND window = form.handle();
    RECT outer{};
    GetWindowRect(window, &outer);
    CHECK_EQ(outer.left, 442);
    CHECK_EQ(outer.top, 280);
    CHECK_EQ(outer.right - outer.left, 6);
    CHECK_EQ(outer.bottom - outer.top, 6);
    CHECK(!IsWindowVisible(window));
    CHECK(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    CHECK(SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0);
    form.show();
    CHECK(IsWindowVisible(window));
    form.hide();
    CHECK(!IsWindowVisible(window));
}

WIN32_TEST(LabelsKeepTheirTextForReadersAndTheCaller) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    const std::wstring status = L"正在下载所需文件，请耐心等待 ......";
    form.setText(form1::Label3, status);
    CHECK_EQ(form.text(form1::Label3), status);
    wchar_t read[128] = {};
    SendMessageW(form.controlHandle(form1::Label3), WM_GETTEXT, 128,
                 reinterpret_cast<LPARAM>(read));
    CHECK_EQ(std::wstring(read), status);
    form.setText(form1::Text2, L"C:\\Program Files\\Ombrix\\ombrix");
    CHECK_EQ(form.text(form1::Text2), std::wstring(L"C:\\Program Files\\Ombrix\\ombrix"));
}

WIN32_TEST(ClosedWindowIsGoneAndHarmless) {
    Recorder events;
    const int openBefore = OpenFormCount();
    {
        FormWindow form(forms::kForm1, events);
        CHECK_EQ(OpenFormCount(), openBefore + 1);
        HWND label = form.controlHandle(form1::Label3);
        form.close();
        CHECK(form.handle() == nullptr);
        CHECK(!IsWindow(label));
        CHECK_EQ(events.count(L"closed"), 1);
        CHECK_EQ(OpenFormCount(), openBefore);
        CHECK_EQ(form.text(form1::Label4), std::wstring());
        form.setText(form1::Label3, L"x");
        form.showPictureOf(form1::close1, form1::closedown);
        form.startTimer(5, 10);
        form.beginDrag();
        form.show();
        form.close();
        CHECK_EQ(events.count(L"closed"), 1);
    }
    // Destroying the object of an open window tells its logic nothing: the logic is going too.
    Recorder quiet;
    { FormWindow form(forms::kForm1, quiet); }
    CHECK_EQ(quiet.count(L"closed"), 0);
    CHECK_EQ(OpenFormCount(), openBefore);
}

WIN32_TEST(SystemCloseIsReported) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    SendMessageW(form.handle(), WM_CLOSE, 0, 0);
    CHECK(form.handle() == nullptr);
    CHECK_EQ(events.count(L"closed"), 1);
}

WIN32_TEST(TimersArriveAsEvents) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    form.startTimer(form2::Timer1, 15);
    CHECK(PumpUntil([&] { return events.count(L"timer 2001") >= 2; }, 2000));
    form.stopTimer(form2::Timer1);
    PumpFor(30);
    const int ticks = events.count(L"timer 2001");
    PumpFor(80);
    CHECK_EQ(events.count(L"timer 2001"), ticks);
}

WIN32_TEST(DesignedTimerRunsFromCreation) {
    Recorder events;
    FormWindow form(kNestedForm, events);
    CHECK(PumpUntil([&] { return events.count(L"timer 31") >= 1; }, 2000));
}

WIN32_TEST(ImagesAndLabelsReportPressesMovesAndClicks) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    form.show();
    HWND close1 = form.controlHandle(form1::close1);
    HWND label4 = form.controlHandle(form1::Label4);
    HWND picture = form.controlHandle(form1::Picture1);

    // A press and a release over the close button: a click.
    SendMessageW(close1, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(close1, WM_LBUTTONUP, 0, MAKELPARAM(6, 6));
    CHECK_EQ(events.log.size(), std::size_t{2});
    CHECK_EQ(events.count(L"down 1014 1"), 1);
    CHECK_EQ(events.count(L"click 1014"), 1);

    // Released elsewhere: no click.
    events.log.clear();
    SendMessageW(close1, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(close1, WM_LBUTTONUP, 0, MAKELPARAM(200, 60));
    CHECK_EQ(events.count(L"click 1014"), 0);

    // Other buttons are pressed too, but click nothing.
    events.log.clear();
    SendMessageW(close1, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    SendMessageW(label4, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(5, 5));
    SendMessageW(close1, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    CHECK_EQ(events.count(L"down 1014 2"), 1);
    CHECK_EQ(events.count(L"down 1010 4"), 1);
    CHECK_EQ(events.count(L"click 1014"), 0);

    events.log.clear();
    SendMessageW(picture, WM_MOUSEMOVE, 0, MAKELPARAM(100, 90));
    SendMessageW(close1, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    CHECK_EQ(events.count(L"move 1005"), 1);
    CHECK_EQ(events.count(L"move 1014"), 1);

    // A handler that takes the mouse away (as a window drag does) cancels the click.
    events.log.clear();
    events.react = [](const std::wstring& event) {
        if (event.starts_with(L"down")) {
            ReleaseCapture();
        }
    };
    SendMessageW(label4, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(label4, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    CHECK_EQ(events.count(L"down 1010 1"), 1);
    CHECK_EQ(events.count(L"click 1010"), 0);
}

WIN32_TEST(ButtonClicksArriveAlsoThroughAPictureBox) {
    Recorder events;
    FormWindow main(forms::kForm1, events);
    SendMessageW(main.controlHandle(form1::Command2), BM_CLICK, 0, 0);
    CHECK_EQ(events.count(L"click 1002"), 1);

    Recorder nestedEvents;
    FormWindow nested(kNestedForm, nestedEvents);
    SendMessageW(nested.controlHandle(12), BM_CLICK, 0, 0);
    CHECK_EQ(nestedEvents.count(L"click 12"), 1);
}

WIN32_TEST(HandlerMayCloseTheWindowItIsCalledFrom) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    events.react = [&](const std::wstring& event) {
        if (event.starts_with(L"click") || event.starts_with(L"down")) {
            form.close();
        }
    };
    SendMessageW(form.controlHandle(form1::Command2), BM_CLICK, 0, 0);
    CHECK(form.handle() == nullptr);
    CHECK_EQ(events.count(L"closed"), 1);

    Recorder second;
    FormWindow other(forms::kForm1, second);
    second.react = [&](const std::wstring& event) {
        if (event.starts_with(L"down")) {
            other.close();
        }
    };
    SendMessageW(other.controlHandle(form1::close1), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    CHECK(other.handle() == nullptr);
    CHECK(GetCapture() == nullptr);
}

WIN32_TEST(FocusFollowsTheTabOrder) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    form.show();
    SetForegroundWindow(form.handle());
    PumpFor(50);
    HWND text2 = form.controlHandle(form1::Text2);
    HWND command2 = form.controlHandle(form1::Command2);
    // Text1 comes first but is hidden.
    CHECK(GetFocus() == text2);

    // Keys typed into the window cannot change the download path.
    PostMessageW(text2, WM_CHAR, L'x', 1);
    PostMessageW(text2, WM_KEYDOWN, VK_BACK, 1);
    PumpFor(30);
    CHECK_EQ(form.text(form1::Text2), std::wstring(L".\\"));

    PostMessageW(text2, WM_KEYDOWN, VK_TAB, 1);
    PostMessageW(text2, WM_KEYUP, VK_TAB, 0xC0000001);
    PumpFor(30);
    CHECK(GetFocus() == command2);

    PostMessageW(command2, WM_KEYDOWN, VK_SPACE, 1);
    PostMessageW(command2, WM_KEYUP, VK_SPACE, 0xC0000001);
    PumpUntil([&] { return events.count(L"click 1002") == 1; }, 500);
    CHECK_EQ(events.count(L"click 1002"), 1);
}

}  // namespace ombrix::uitest
