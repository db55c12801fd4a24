#pragma once
#include <functional>

#include "platform/clock.h"

namespace ombrix {

class Win32Clock : public Clock {
  public:
    // `pump` handles every waiting event once (the application's pump).
    explicit Win32Clock(std::function<void()> pump) : pump_(std::move(pump)) {}
    std::uint64_t nowMs() override;
    std::int64_t utcSeconds() override;
    void idle(unsigned maxMs) override;

  private:
    std::function<void()> pump_;
};

}  // namespace ombrix
