#include <windows.h>

#include <string>
#include <vector>

#include "tools/automate/commands.h"
#include "tools/automate/console.h"
#include "tools/automate/deadline.h"
#include "tools/automate/window_query.h"

namespace ombrix::automate {
namespace {

constexpr int kTextId = 0xFFFF;
// The icon's static control: 20 on Windows, stc1 (0x440) in Wine's message box template.
constexpr int kIconIds[] = {0x14, 0x440};

struct ButtonName {
    const wchar_t* name;
    int id;
};
constexpr ButtonName kButtons[] = {
    {L"ok", IDOK},         {L"cancel", IDCANCEL}, {L"abort", IDABORT}, {L"retry", IDRETRY},
    {L"ignore", IDIGNORE}, {L"yes", IDYES},       {L"no", IDNO},
};

// A message box is a visible top-level dialog; --caption, --pid narrow the choice.
WindowQuery boxQuery(const Args& args) {
    auto query = WindowQuery::fromArgs(args);
    query.className = L"#32770";
    query.visibleOnly = true;
    return query;
}

// Wine keeps the icon control in every box; only one that holds an icon shows one.
bool hasVisibleIcon(HWND box) {
    for (int id : kIconIds) {
        HWND icon = GetDlgItem(box, id);
        DWORD_PTR handle = 0;
        if (icon != nullptr && IsWindowVisible(icon) &&
            SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &handle) &&
            handle != 0) {
            return true;
        }
    }
    return false;
}

std::string describeBox(HWND box) {
    std::vector<std::string> buttons;
    for (const auto& button : kButtons) {
        if (HWND control = GetDlgItem(box, button.id)) {
            buttons.push_back(JsonLine()
                                  .addText("name", button.name)
                                  .addInt("id", button.id)
                                  .addText("text", windowText(control))
                                  .addBool("visible", IsWindowVisible(control) != FALSE)
                                  .str());
        }
    }
    HWND text = GetDlgItem(box, kTextId);
    HWND owner = GetWindow(box, GW_OWNER);
    RECT rect{};
    GetWindowRect(box, &rect);
    JsonLine line;
    line.addInt("hwnd", reinterpret_cast<INT_PTR>(box))
        .addText("caption", windowText(box))
        .addText("text", text ? windowText(text) : L"")
        .addRaw("buttons", jsonArray(buttons))
        .addBool("icon", hasVisibleIcon(box))
        .addInt("owner", reinterpret_cast<INT_PTR>(owner))
        .addText("owner_caption", owner ? windowText(owner) : L"")
        .addInt("pid", windowProcess(box))
        .addRaw("rect", rectJson(rect));
    return line.str();
}

int buttonId(const Args& args) {
    if (auto id = args.number(L"id")) {
        return static_cast<int>(*id);
    }
    const std::wstring name = args.required(L"button");
    for (const auto& button : kButtons) {
        if (name == button.name) {
            return button.id;
        }
    }
    throw Failure{Usage, L"unknown button " + name};
}

}  // namespace

int messageBox(const Args& args) {
    writeLine(describeBox(waitTopLevel(boxQuery(args), timeoutOf(args, 10000))));
    return Ok;
}

// Presses a button of the box (BM_CLICK, posted) and waits until the box has gone.
int clickMessageBox(const Args& args) {
    const int id = buttonId(args);
    const DWORD timeoutMs = timeoutOf(args, 10000);
    const Deadline deadline(timeoutMs);
    HWND box = waitTopLevel(boxQuery(args), timeoutMs);
    HWND button = GetDlgItem(box, id);
    if (button == nullptr) {
        throw Failure{Failed, L"the message box has no button with ID " + std::to_wstring(id)};
    }
    const std::string before = describeBox(box);
    if (!PostMessageW(button, BM_CLICK, 0, 0)) {
        throw Failure{Failed, L"PostMessage failed: " + std::to_wstring(GetLastError())};
    }
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (deadline.passed()) {
            throw Failure{TimedOut, L"the message box stayed after the click"};
        }
        Sleep(kPollMs);
    }
    writeLine(JsonLine().addInt("clicked", id).addRaw("box", before).str());
    return Ok;
}

}  // namespace ombrix::automate
