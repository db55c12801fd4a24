#include <windows.h>

#include <cwctype>
#include <map>
#include <vector>

#include "tools/automate/commands.h"
#include "tools/automate/console.h"
#include "tools/automate/window_query.h"

namespace ombrix::automate {
namespace {

// Gives the target's thread time to take each event out of its queue, as a hand would.
constexpr DWORD kStepMs = 30;

struct ButtonFlags {
    DWORD down;
    DWORD up;
};

ButtonFlags buttonFlags(const Args& args) {
    const std::wstring name = args.textOr(L"button", L"left");
    if (name == L"left") {
        return {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    }
    if (name == L"right") {
        return {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP};
    }
    if (name == L"middle") {
        return {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP};
    }
    throw Failure{Usage, L"unknown mouse button " + name};
}

void send(INPUT input) {
    if (SendInput(1, &input, sizeof input) != 1) {
        throw Failure{Failed, L"SendInput failed: " + std::to_wstring(GetLastError())};
    }
    Sleep(kStepMs);
}

// Absolute coordinates run from 0 to 65535 across the screen; rounding up makes the system's
// conversion back land on the very pixel.
LONG normalized(LONG pixel, int extent) {
    return static_cast<LONG>((static_cast<long long>(pixel) * 65536 + extent - 1) / extent);
}

void moveTo(POINT point) {
    SetCursorPos(point.x, point.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = normalized(point.x, GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = normalized(point.y, GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    send(input);
}

void button(DWORD flag) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    send(input);
}

// The point --x, --y from the target's top-left corner, or the target's centre.
POINT targetPoint(const Args& args, HWND target) {
    RECT rect{};
    GetWindowRect(target, &rect);
    return POINT{rect.left + static_cast<LONG>(args.numberOr(L"x", (rect.right - rect.left) / 2)),
                 rect.top + static_cast<LONG>(args.numberOr(L"y", (rect.bottom - rect.top) / 2))};
}

std::string pointJson(POINT point) {
    return JsonLine().addInt("x", point.x).addInt("y", point.y).str();
}

void key(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    send(input);
}

WORD virtualKey(const std::wstring& name) {
    static const std::map<std::wstring, WORD> named = {
        {L"tab", VK_TAB},        {L"enter", VK_RETURN},  {L"return", VK_RETURN},
        {L"space", VK_SPACE},    {L"escape", VK_ESCAPE}, {L"esc", VK_ESCAPE},
        {L"left", VK_LEFT},      {L"right", VK_RIGHT},   {L"up", VK_UP},
        {L"down", VK_DOWN},      {L"home", VK_HOME},     {L"end", VK_END},
        {L"backspace", VK_BACK}, {L"delete", VK_DELETE}, {L"f4", VK_F4},
        {L"shift", VK_SHIFT},    {L"ctrl", VK_CONTROL},  {L"alt", VK_MENU},
    };
    if (auto found = named.find(name); found != named.end()) {
        return found->second;
    }
    if (name.size() == 1 && std::iswalnum(name[0])) {
        return static_cast<WORD>(std::towupper(name[0]));
    }
    throw Failure{Usage, L"unknown key " + name};
}

// "shift+tab": modifiers held while the last key is pressed.
void pressChord(const std::wstring& chord) {
    std::vector<WORD> parts;
    size_t start = 0;
    for (;;) {
        const size_t plus = chord.find(L'+', start);
        parts.push_back(virtualKey(chord.substr(start, plus - start)));
        if (plus == std::wstring::npos) {
            break;
        }
        start = plus + 1;
    }
    for (WORD vk : parts) {
        key(vk, false);
    }
    for (auto vk = parts.rbegin(); vk != parts.rend(); ++vk) {
        key(*vk, true);
    }
}

void bringToFront(const Args& args) {
    if (args.has(L"caption") || args.has(L"hwnd")) {
        HWND top = locateTarget(args);
        SetForegroundWindow(GetAncestor(top, GA_ROOT));
        Sleep(kStepMs);
    }
}

}  // namespace

// mouse move|down|up|click [--caption ... --id N] [--x X --y Y] [--button left|right|middle]
int mouse(const Args& args) {
    if (args.positional().size() != 1) {
        throw Failure{Usage, L"mouse needs one action: move, down, up or click"};
    }
    const std::wstring action = args.positional()[0];
    const bool press = action == L"down" || action == L"click";
    const bool release = action == L"up" || action == L"click";
    if (!press && !release && action != L"move") {
        throw Failure{Usage, L"unknown mouse action " + action};
    }
    const ButtonFlags flags = buttonFlags(args);
    const POINT point = targetPoint(args, locateTarget(args));
    moveTo(point);
    if (press) {
        button(flags.down);
    }
    if (release) {
        button(flags.up);
    }
    writeLine(JsonLine().addText("mouse", action).addRaw("at", pointJson(point)).str());
    return Ok;
}

// drag [--caption ... --id N] --dx DX --dy DY: press on the target, move in steps, release.
int drag(const Args& args) {
    const ButtonFlags flags = buttonFlags(args);
    const POINT from = targetPoint(args, locateTarget(args));
    const LONG dx = static_cast<LONG>(args.numberOr(L"dx", 0));
    const LONG dy = static_cast<LONG>(args.numberOr(L"dy", 0));
    const int steps = static_cast<int>(args.numberOr(L"steps", 10));
    moveTo(from);
    button(flags.down);
    for (int step = 1; step <= steps; ++step) {
        moveTo(POINT{from.x + dx * step / steps, from.y + dy * step / steps});
    }
    button(flags.up);
    writeLine(JsonLine()
                  .addRaw("from", pointJson(from))
                  .addRaw("to", pointJson(POINT{from.x + dx, from.y + dy}))
                  .str());
    return Ok;
}

// key [--caption ...] tab shift+tab space ...
int keys(const Args& args) {
    if (args.positional().empty()) {
        throw Failure{Usage, L"key needs at least one key name"};
    }
    bringToFront(args);
    for (const auto& chord : args.positional()) {
        pressChord(chord);
    }
    writeLine(JsonLine().addInt("keys", static_cast<std::int64_t>(args.positional().size())).str());
    return Ok;
}

// type [--caption ...] --text TEXT: characters as Unicode key events.
int typeText(const Args& args) {
    const std::wstring text = args.required(L"text");
    bringToFront(args);
    for (wchar_t c : text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = c;
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        send(input);
        input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        send(input);
    }
    writeLine(JsonLine().addText("typed", text).str());
    return Ok;
}

}  // namespace ombrix::automate
