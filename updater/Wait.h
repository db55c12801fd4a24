#pragma once
#include <algorithm>
#include <cstdint>

#include "platform/clock.h"

namespace ombrix::updater {

// Asks `done` until it answers true or `maxMs` have passed, idling at most `stepMs` between
// two questions. The idle wait handles events as they come (and ends early on each), so the
// window answers and a cancel ends the run meanwhile. True when `done` answered true.
template <typename Done>
bool WaitUntil(Clock& clock, std::uint64_t maxMs, std::uint64_t stepMs, Done done) {
    const std::uint64_t deadline = clock.nowMs() + maxMs;
    for (;;) {
        if (done()) {
            return true;
        }
        const std::uint64_t now = clock.nowMs();
        if (now >= deadline) {
            return false;
        }
        clock.idle(static_cast<unsigned>(std::min(stepMs, deadline - now)));
    }
}

// Waits `ms`, handling events as they come.
inline void PauseFor(Clock& clock, std::uint64_t ms) {
    WaitUntil(clock, ms, ms, [] { return false; });
}

}  // namespace ombrix::updater
