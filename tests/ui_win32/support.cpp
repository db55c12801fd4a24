#include "tests/ui_win32/support.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/application_win32.h"

namespace ombrix::uitest {

void Recorder::add(std::wstring event) {
    log.push_back(event);
    if (react) {
        react(event);
    }
}

void Recorder::onMouseDown(int control, MouseButton button) {
    add(L"down " + std::to_wstring(control) + L" " + std::to_wstring(static_cast<int>(button)));
}
void Recorder::onMouseMove(int control) {
    add(L"move " + std::to_wstring(control));
}
void Recorder::onClick(int control) {
    add(L"click " + std::to_wstring(control));
}
void Recorder::onTimer(int timer) {
    add(L"timer " + std::to_wstring(timer));
}
void Recorder::onClosed() {
    add(L"closed");
}

int Recorder::count(const std::wstring& event) const {
    return static_cast<int>(std::count(log.begin(), log.end(), event));
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message != WM_QUIT) {
                DispatchQueuedMessage(message);
            }
        }
        if (done()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

namespace {

// Fills a 32-bit bitmap through `draw` and returns its pixels.
Pixels DrawToPixels(int width, int height, const std::function<void(HDC)>& draw) {
    Pixels pixels{.width = width, .height = height};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    // A colour no skin uses, so that a control that draws nothing is noticed.
    RECT all{0, 0, width, height};
    SetDCBrushColor(dc, RGB(1, 254, 3));
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    draw(dc);
    GdiFlush();
    const auto* source = static_cast<const std::uint32_t*>(bits);
    pixels.rgb.assign(source, source + static_cast<std::size_t>(width) * height);
    for (auto& pixel : pixels.rgb) {
        pixel &= 0x00FFFFFF;
    }
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

}  // namespace

Pixels Render(HWND control, int width, int height) {
    return DrawToPixels(width, height, [&](HDC dc) {
        SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    });
}

Pixels Capture(HWND control, int width, int height) {
    return DrawToPixels(width, height, [&](HDC dc) {
        HDC screen = GetDC(control);
        BitBlt(dc, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        ReleaseDC(control, screen);
    });
}

Pixels Crop(const Pixels& source, int x, int y, int width, int height) {
    Pixels cut{.width = width, .height = height};
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            cut.rgb.push_back(source.at(x + column, y + row));
        }
    }
    return cut;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

RECT RectInParent(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool RunAsChildIfAsked() {
    wchar_t marker[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(kChildMarkerVariable, marker, MAX_PATH)) {
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring line =
        std::to_wstring((startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1) +
        L"\n" + folder + L"\n";
    HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
                  nullptr);
        CloseHandle(file);
    }
    return true;
}

}  // namespace ombrix::uitest
