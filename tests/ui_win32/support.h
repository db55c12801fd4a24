#pragma once
// What the window tests share: an event recorder, pumping, rendering a control to pixels.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/window.h"

namespace ombrix::uitest {

// Writes down every event as a short text ("down 1014 1", "click 1002", "timer 7", ...).
class Recorder : public WindowEvents {
  public:
    void onMouseDown(int control, MouseButton button) override;
    void onMouseMove(int control) override;
    void onClick(int control) override;
    void onTimer(int timer) override;
    void onClosed() override;

    int count(const std::wstring& event) const;
    std::vector<std::wstring> log;
    // Runs after each event is written down, to act like a window's logic would.
    std::function<void(const std::wstring&)> react;

  private:
    void add(std::wstring event);
};

// Handles this thread's messages as the program's pump does, for a while or until `done`.
void PumpFor(DWORD ms);
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// A control's face as its WM_PRINTCLIENT draws it, 0x00RRGGBB per pixel, rows from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb = {};
    std::uint32_t at(int x, int y) const { return rgb[static_cast<std::size_t>(y) * width + x]; }
    bool operator==(const Pixels&) const = default;
};
Pixels Render(HWND control, int width, int height);
// What a shown control has on the screen now.
Pixels Capture(HWND control, int width, int height);
// A rectangle cut out of a rendering.
Pixels Crop(const Pixels& source, int x, int y, int width, int height);

std::wstring ClassOf(HWND window);
// Place and size within the parent's client area.
RECT RectInParent(HWND window);

// The runtime test starts this program as a child: it then writes what it sees and ends.
bool RunAsChildIfAsked();
inline constexpr const wchar_t* kChildMarkerVariable = L"OMBRIX_UI_TEST_CHILD_MARKER";

}  // namespace ombrix::uitest
