#pragma once
// Seconds since construction, from the performance counter.
#include <windows.h>

#include <cstdint>

namespace ombrix::bench {

class Stopwatch {
  public:
    Stopwatch() {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }

    double seconds() const {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) /
               static_cast<double>(frequency_.QuadPart);
    }

  private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

inline std::int64_t micros(double seconds) {
    return static_cast<std::int64_t>(seconds * 1e6);
}

}  // namespace ombrix::bench
