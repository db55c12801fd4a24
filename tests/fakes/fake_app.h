#pragma once
// The application: the instance lock, event pumps and the exit, which tests catch.
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_basics.h"
#include "platform/app.h"

namespace ombrix::fakes {

class FakeApp : public Application {
  public:
    explicit FakeApp(Log& log) : log_(log) {}
    // What claiming the instance lock comes to.
    InstanceClaim claim = InstanceClaim::Claimed;
    int pumps = 0;
    // Events that arrive during a given pump (1-based), as a user or the system would cause.
    std::map<int, std::vector<std::function<void()>>> duringPump;

    InstanceClaim claimInstance(const std::wstring& lockPath) override {
        log_.push_back(L"lock " + lockPath);
        return claim;
    }
    void pumpEvents() override {
        ++pumps;
        const auto due = duringPump.find(pumps);
        if (due != duringPump.end()) {
            auto events = std::move(due->second);
            duringPump.erase(due);
            for (auto& event : events) {
                event();
            }
        }
    }
    [[noreturn]] void exitNow(int code) override {
        log_.push_back(L"exit " + std::to_wstring(code));
        throw ExitRequested{code};
    }

  private:
    Log& log_;
};

}  // namespace ombrix::fakes
