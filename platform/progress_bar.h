#pragma once
// A horizontal progress bar that fills from the left. Cheap to drive once per chunk: the
// implementation redraws only when the drawn length changes, and not too often.
#include <cstdint>

namespace ombrix {

class ProgressBar {
  public:
    virtual ~ProgressBar() = default;
    // Range is 0..maximum.
    virtual void setMaximum(std::int32_t maximum) = 0;
    virtual std::int32_t maximum() = 0;
    virtual void setValue(std::int32_t value) = 0;
    virtual std::int32_t value() = 0;
    // A moving bar for work of unknown length; off again with false.
    virtual void setIndeterminate(bool on) = 0;
};

}  // namespace ombrix
