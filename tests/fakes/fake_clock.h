#pragma once
// A clock that moves only when the logic idles.
#include <cstdint>
#include <functional>

#include "platform/clock.h"

namespace ombrix::fakes {

class FakeClock : public Clock {
  public:
    std::uint64_t now = 0;
    int idles = 0;
    std::function<void()> onIdle;
    // 2025-06-15 08:00:00 UTC when the test starts; it moves with `now`.
    std::int64_t utcStart = 1749974400;
    std::uint64_t nowMs() override { return now; }
    std::int64_t utcSeconds() override { return utcStart + static_cast<std::int64_t>(now / 1000); }
    void idle(unsigned maxMs) override {
        ++idles;
        now += maxMs;
        if (onIdle) {
            onIdle();
        }
    }
};

}  // namespace ombrix::fakes
