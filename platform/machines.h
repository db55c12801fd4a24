#pragma once
// The processor architectures whose programs this Windows runs.
#include <cstdint>

namespace ombrix {

// Machine values as a program's file header names them.
inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;

class Machines {
  public:
    virtual ~Machines() = default;
    // True when a program built for `machine` runs here, natively or emulated.
    virtual bool runs(std::uint16_t machine) = 0;
};

}  // namespace ombrix
