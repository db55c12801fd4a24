#pragma once
// A window built from its definition, and the events it reports. Controls are named by their
// control IDs.
#include <optional>
#include <string>

namespace ombrix {

enum class MouseButton { Left = 1, Right = 2, Middle = 4 };

class Window {
  public:
    virtual ~Window() = default;
    virtual std::wstring text(int control) = 0;
    virtual void setText(int control, const std::wstring& text) = 0;
    // The image control `target` shows the picture that the image control `source` holds.
    virtual void showPictureOf(int target, int source) = 0;
    // Moves the window with the mouse as if its title bar were grasped; returns when the
    // button is released.
    virtual void beginDrag() = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    // Unloads the window; its controls are gone afterwards.
    virtual void close() = 0;
    // Timers of this window; their ticks arrive as WindowEvents::onTimer.
    virtual void startTimer(int timer, unsigned intervalMs) = 0;
    virtual void stopTimer(int timer) = 0;
    // With a reason, the system shows it to a user who ends the session while this window lives;
    // without one, that is lifted again.
    virtual void blockSessionEnd(const std::optional<std::wstring>& /*reason*/) {}
};

// What a window reports to its logic, on the user-interface thread.
class WindowEvents {
  public:
    virtual ~WindowEvents() = default;
    virtual void onMouseDown(int /*control*/, MouseButton /*button*/) {}
    virtual void onMouseMove(int /*control*/) {}
    virtual void onClick(int /*control*/) {}
    // The user asked to close the window from the keyboard (Esc, Alt+F4) or through the
    // system's close command.
    virtual void onCloseRequest() {}
    virtual void onTimer(int /*timer*/) {}
    // The window was unloaded (by its logic, or by the system).
    virtual void onClosed() {}
    // The session is about to end (log-off, shutdown): false asks the system to wait.
    virtual bool onQueryEndSession() { return true; }
    // The session ends (`ending`) or goes on after all. When `ending`, the process may be ended
    // as soon as this returns.
    virtual void onEndSession(bool /*ending*/) {}
};

}  // namespace ombrix
