#pragma once
#include <cstdint>

namespace ombrix::updater {

// Maps 64-bit byte counts onto the progress bar's 32-bit range: 0..L itself while L fits, else
// a range whose positions keep the true fraction.
class ProgressScale {
  public:
    explicit ProgressScale(std::int64_t total);
    std::int32_t maximum() const { return maximum_; }
    std::int32_t position(std::int64_t done) const;

  private:
    std::int64_t total_;
    std::int32_t maximum_;
};

}  // namespace ombrix::updater
