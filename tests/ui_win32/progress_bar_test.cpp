// The progress bar: logical values kept exactly, the control told only what changes the picture.
#include <windows.h>

#include <commctrl.h>

#include "platform/win32/form_window.h"
#include "platform/win32/progress_bar_win32.h"
#include "tests/win32_check/check.h"
#include "tests/ui_win32/support.h"
#include "resources/update_forms.h"

namespace ombrix::uitest {
namespace {

int g_positionUpdates = 0;

LRESULT CALLBACK CountPositions(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR) {
    if (message == PBM_SETPOS) {
        ++g_positionUpdates;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

struct Bar {
    Recorder events;
    FormWindow form{forms::kForm1, events};
    HWND hwnd = form.controlHandle(form1::ProgressBar1);
    Win32ProgressBar bar{form, form1::ProgressBar1};

    Bar() {
        g_positionUpdates = 0;
        SetWindowSubclass(hwnd, CountPositions, 1, 0);
    }
    ~Bar() { RemoveWindowSubclass(hwnd, CountPositions, 1); }
    LRESULT shownPosition() const { return SendMessageW(hwnd, PBM_GETPOS, 0, 0); }
    LRESULT shownMaximum() const { return SendMessageW(hwnd, PBM_GETRANGE, FALSE, 0); }
};

}  // namespace

WIN32_TEST(ProgressStartsAsDesignedAndRangeChangesAtOnce) {
    Bar bar;
    CHECK_EQ(bar.bar.maximum(), 100);
    CHECK_EQ(bar.bar.value(), 0);
    bar.bar.setMaximum(1'500'000);
    CHECK_EQ(bar.bar.maximum(), 1'500'000);
    CHECK_EQ(bar.shownMaximum(), 1'500'000);
}

WIN32_TEST(ProgressPerChunkCostsFewUpdatesAndEndsFull) {
    Bar bar;
    const int total = 64 * 1024 * 1024;
    bar.bar.setMaximum(total);
    const int before = g_positionUpdates;
    const DWORD start = GetTickCount();
    int value = 0;
    for (; value + 1024 < total; value += 1024) {
        bar.bar.setValue(value);
        CHECK_EQ(bar.bar.value(), value);
    }
    const DWORD elapsed = GetTickCount() - start;
    // No more than one update per pixel of the bar, nor more than about 30 a second.
    const int updates = g_positionUpdates - before;
    CHECK(updates <= 305);
    CHECK(updates <= static_cast<int>(elapsed / Win32ProgressBar::kMinUpdateIntervalMs) + 2);
    CHECK(bar.shownPosition() < total);

    bar.bar.setValue(total);
    CHECK_EQ(bar.shownPosition(), total);
    CHECK_EQ(bar.bar.value(), total);
    // More than announced: the value is kept, the full bar is not redrawn.
    const int atEnd = g_positionUpdates;
    bar.bar.setValue(total + 1024);
    CHECK_EQ(bar.bar.value(), total + 1024);
    CHECK_EQ(g_positionUpdates, atEnd);
}

WIN32_TEST(ProgressMovesWhileTimePasses) {
    Bar bar;
    bar.bar.setMaximum(305);
    for (int value = 1; value <= 150; ++value) {
        bar.bar.setValue(value);
        Sleep(2);
    }
    // About 300 ms: the bar moved several times, and shows a recent value.
    CHECK(g_positionUpdates >= 3);
    CHECK(bar.shownPosition() > 100);
}

WIN32_TEST(ProgressHeldBackIsShownWhenNothingFollows) {
    Bar bar;
    bar.bar.setMaximum(1000);
    bar.bar.setValue(400);  // right after the range: held back
    CHECK(PumpUntil([&] { return bar.shownPosition() == 400; }, 500));
}

WIN32_TEST(ProgressMarqueeComesAndGoes) {
    Bar bar;
    bar.bar.setValue(40);
    bar.bar.setIndeterminate(true);
    CHECK(GetWindowLongW(bar.hwnd, GWL_STYLE) & PBS_MARQUEE);
    bar.bar.setValue(60);
    CHECK_EQ(bar.bar.value(), 60);
    bar.bar.setIndeterminate(false);
    CHECK(!(GetWindowLongW(bar.hwnd, GWL_STYLE) & PBS_MARQUEE));
    CHECK_EQ(bar.shownMaximum(), 100);
    CHECK_EQ(bar.shownPosition(), 60);
}

WIN32_TEST(ProgressOfAClosedWindowIsHarmless) {
    Bar bar;
    bar.form.close();
    bar.bar.setMaximum(10);
    bar.bar.setValue(10);
    bar.bar.setIndeterminate(true);
    CHECK_EQ(bar.bar.value(), 10);
    CHECK_EQ(bar.bar.maximum(), 10);
}

}  // namespace ombrix::uitest
