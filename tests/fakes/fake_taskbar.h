#pragma once
// A taskbar button that records what it was told, one entry per call: "normal", "5/1000".
#include <string>
#include <vector>

#include "platform/taskbar.h"

namespace ombrix::fakes {

class FakeTaskbar : public TaskbarProgress {
  public:
    std::vector<std::string> calls;
    void setState(State state) override {
        static const char* const kNames[] = {"none", "indeterminate", "normal", "error"};
        calls.push_back(kNames[static_cast<int>(state)]);
    }
    void setValue(std::uint64_t done, std::uint64_t total) override {
        calls.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
};

}  // namespace ombrix::fakes
