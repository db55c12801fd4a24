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
    std::uint64_t nowMs() override { return now; }
    void idle(unsigned maxMs) override {
        ++idles;
        now += maxMs;
        if (onIdle) {
            onIdle();
        }
    }
};

}  // namespace ombrix::fakes
