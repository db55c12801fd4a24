#pragma once
#include <cstdint>

namespace ombrix {

// Time, and idle waiting that still answers the user.
class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds from an arbitrary start; never goes back.
    virtual std::uint64_t nowMs() = 0;
    // The system's calendar time, in seconds since 1970-01-01 00:00 UTC. Set by whoever owns the
    // machine: it may be wrong and may go back.
    virtual std::int64_t utcSeconds() = 0;
    // Waits until an event arrives or `maxMs` have passed, then handles every waiting event.
    virtual void idle(unsigned maxMs) = 0;
};

}  // namespace ombrix
