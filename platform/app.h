#pragma once
// The desktop runtime of a window program: instances, the event pump, ending.
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
};

}  // namespace ombrix
