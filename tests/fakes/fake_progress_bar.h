#pragma once
// A progress bar that keeps its range and position.
#include <cstdint>

#include "platform/progress_bar.h"

namespace ombrix::fakes {

class FakeProgressBar : public ProgressBar {
  public:
    std::int32_t max = 100;
    std::int32_t val = 0;
    bool indeterminate = false;
    int updates = 0;
    void setMaximum(std::int32_t m) override { max = m; }
    std::int32_t maximum() override { return max; }
    void setValue(std::int32_t v) override {
        val = v;
        ++updates;
    }
    std::int32_t value() override { return val; }
    void setIndeterminate(bool on) override { indeterminate = on; }
};

}  // namespace ombrix::fakes
