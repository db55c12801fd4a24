#pragma once
// Every wait of the tool is bounded: a deadline in milliseconds from now.
#include <windows.h>

#include <cstdint>

namespace ombrix::automate {

class Deadline {
  public:
    explicit Deadline(std::int64_t timeoutMs)
        : end_(GetTickCount64() + static_cast<ULONGLONG>(timeoutMs < 0 ? 0 : timeoutMs)) {}
    bool passed() const { return GetTickCount64() >= end_; }
    DWORD remainingMs() const {
        const ULONGLONG now = GetTickCount64();
        return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
    }

  private:
    ULONGLONG end_;
};

// Pause between two looks at the window list while waiting for a change.
constexpr DWORD kPollMs = 20;

}  // namespace ombrix::automate
