#pragma once
// The desktop runtime of a window program: instances, the event pump, ending.
#include <string>

namespace ombrix {

enum class InstanceClaim {
    Claimed,         // this run holds the lock now, until the process ends
    AnotherRunning,  // another run holds it
    Failed,          // it cannot be held (no right to write there, no such folder)
};

class Application {
  public:
    virtual ~Application() = default;
    // Marks this run as the one instance of the program for a folder, by holding the file
    // `lockPath` open for the rest of the process, shared with nobody and deleted when closed.
    // Only those who may write to its folder can hold it; it is made with an access of its own,
    // so that nobody else can even open it, and one left behind is taken over when nobody holds
    // it (platform/instance_lock.h).
    virtual InstanceClaim claimInstance(const std::wstring& lockPath) = 0;
    // Handles every waiting window, mouse, timer and transfer event, nested in the caller.
    virtual void pumpEvents() = 0;
    // Ends the process at once; no further handler runs.
    [[noreturn]] virtual void exitNow(int code) = 0;
};

}  // namespace ombrix
