#pragma once
#include <cstdint>

#include "platform/clock.h"

namespace ombrix::updater {

// Waits `ms`, handling events as they come (an idle wait ends early on each event).
inline void PauseFor(Clock& clock, std::uint64_t ms) {
    const auto until = clock.nowMs() + ms;
    while (clock.nowMs() < until) {
        clock.idle(static_cast<unsigned>(until - clock.nowMs()));
    }
}

}  // namespace ombrix::updater
