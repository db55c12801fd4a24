// Message boxes: title, owner, the owner disabled while open, the answer.
#include <windows.h>

#include "platform/win32/form_window.h"
#include "platform/win32/message_boxes_win32.h"
#include "tests/win32_check/check.h"
#include "tests/ui_win32/support.h"
#include "resources/update_forms.h"
#include "updater/Texts.h"

namespace ombrix::uitest {
namespace {

// What was seen of the box while it was open; filled by a timer inside its modal loop.
struct SeenBox {
    std::wstring title;
    std::wstring text;
    HWND owner = nullptr;
    bool ownerEnabled = true;
    bool hasYes = false;
};

SeenBox* g_seen = nullptr;
HWND g_watchedOwner = nullptr;
int g_button = IDOK;

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    if (ClassOf(window) == L"#32770" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
    if (!box) {
        return;  // not open yet
    }
    KillTimer(nullptr, timer);
    wchar_t buffer[256] = {};
    GetWindowTextW(box, buffer, 256);
    g_seen->title = buffer;
    GetDlgItemTextW(box, 0xFFFF, buffer, 256);
    g_seen->text = buffer;
    g_seen->owner = GetWindow(box, GW_OWNER);
    g_seen->ownerEnabled = g_watchedOwner ? IsWindowEnabled(g_watchedOwner) != FALSE : true;
    g_seen->hasYes = GetDlgItem(box, IDYES) != nullptr;
    SendMessageW(GetDlgItem(box, g_button), BM_CLICK, 0, 0);
}

int ShowAndAnswer(Win32MessageBoxes& boxes, SeenBox& seen, HWND watchedOwner, int button,
                  const std::wstring& text, const std::optional<std::wstring>& title, int style) {
    g_seen = &seen;
    g_watchedOwner = watchedOwner;
    g_button = button;
    SetTimer(nullptr, 0, 20, AnswerBox);
    return boxes.show(text, title, style);
}

}  // namespace

WIN32_TEST(BoxWithoutTitleBearsTheApplicationTitle) {
    Win32MessageBoxes boxes([] { return HWND{}; }, updater::texts::kApplicationTitle);
    SeenBox seen;
    const int answer = ShowAndAnswer(boxes, seen, nullptr, IDOK, L"Ombrix Update 正在运行中......",
                                     std::nullopt, 0);
    CHECK_EQ(answer, IDOK);
    CHECK_EQ(seen.title, std::wstring(L"update"));
    CHECK_EQ(seen.text, std::wstring(L"Ombrix Update 正在运行中......"));
    CHECK(seen.owner == nullptr);
}

WIN32_TEST(BoxIsOwnedByTheShownMainWindowWhichWaits) {
    Recorder events;
    FormWindow form(forms::kForm1, events);
    Win32MessageBoxes boxes([&] { return form.handle(); }, updater::texts::kApplicationTitle);

    // Not yet on screen: the box stands alone.
    SeenBox hidden;
    ShowAndAnswer(boxes, hidden, form.handle(), IDOK, L"a", std::wstring(L"提示："), 0);
    CHECK(hidden.owner == nullptr);

    form.show();
    SeenBox seen;
    const int answer =
        ShowAndAnswer(boxes, seen, form.handle(), IDYES,
                      L"Ombrix正在升级中，你确定要退出升级程序？", std::wstring(L"提示"), 4);
    CHECK_EQ(answer, 6);
    CHECK_EQ(seen.title, std::wstring(L"提示"));
    CHECK(seen.hasYes);
    CHECK(seen.owner == form.handle());
    CHECK(!seen.ownerEnabled);
    CHECK(IsWindowEnabled(form.handle()));

    SeenBox no;
    CHECK_EQ(ShowAndAnswer(boxes, no, form.handle(), IDNO, L"b", std::wstring(L"提示"), 4), IDNO);

    // Once the main window is gone the box has no owner.
    form.close();
    SeenBox after;
    ShowAndAnswer(boxes, after, nullptr, IDOK, L"c", std::wstring(L"提示："), 64);
    CHECK(after.owner == nullptr);
}

}  // namespace ombrix::uitest
