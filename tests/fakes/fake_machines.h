#pragma once
// The machine types this system runs.
#include <cstdint>
#include <set>

#include "platform/machines.h"

namespace ombrix::fakes {

class FakeMachines : public Machines {
  public:
    std::set<std::uint16_t> runnable{kMachineI386, kMachineAmd64};
    bool runs(std::uint16_t machine) override { return runnable.count(machine) != 0; }
};

}  // namespace ombrix::fakes
