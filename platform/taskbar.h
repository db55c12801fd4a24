#pragma once
// The progress a program shows on its taskbar button, as browsers show a download's.
#include <cstdint>

namespace ombrix {

class TaskbarProgress {
  public:
    enum class State { None, Indeterminate, Normal, Error };
    virtual ~TaskbarProgress() = default;
    virtual void setState(State state) = 0;
    // `done` of `total`; shown in the Normal and Error states.
    virtual void setValue(std::uint64_t done, std::uint64_t total) = 0;
};

}  // namespace ombrix
