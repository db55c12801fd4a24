#pragma once
// The desktop runtime of a window program: instances, the event pump, ending, starting programs.
#include <optional>
#include <string>

namespace ombrix {

class Application {
  public:
    virtual ~Application() = default;
    // True when another instance of this program is already running.
    virtual bool anotherInstanceRunning() = 0;
    // Handles every waiting window, mouse, timer and transfer event, nested in the caller.
    virtual void pumpEvents() = 0;
    // Ends the process at once; no further handler runs.
    [[noreturn]] virtual void exitNow(int code) = 0;
    // Starts a program in a normal window with the focus, without waiting for it.
    // Nothing on success, else the system's description of the failure.
    virtual std::optional<std::wstring> startProgram(const std::wstring& path) = 0;
};

}  // namespace ombrix
