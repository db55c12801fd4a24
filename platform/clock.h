#pragma once
#include <cstdint>

namespace ombrix {

// Time, and idle waiting that still answers the user.
class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds from an arbitrary start; never goes back.
    virtual std::uint64_t nowMs() = 0;
    // Waits until an event arrives or `maxMs` have passed, then handles every waiting event.
    virtual void idle(unsigned maxMs) = 0;
};

}  // namespace ombrix
