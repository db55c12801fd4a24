#pragma once
// Starts programs that run on, or end at once with the next of `crashes`.
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_basics.h"
#include "platform/launcher.h"

namespace ombrix::fakes {

class FakeLauncher : public Launcher {
  public:
    explicit FakeLauncher(Log& log) : log_(log) {}
    LaunchContext ctx;
    std::optional<std::wstring> startFailure;
    bool shellStartFails = false;
    std::deque<std::optional<std::uint32_t>> crashes;  // per start; empty: it runs
    std::vector<std::wstring> started;

    LaunchContext context() override { return ctx; }
    Started start(const std::wstring& path, bool asShellUser) override {
        log_.push_back((asShellUser ? L"start as shell user " : L"start ") + path);
        if (startFailure || (asShellUser && shellStartFails)) {
            return {nullptr, startFailure.value_or(L"Privilege not held.")};
        }
        started.push_back(path);
        std::optional<std::uint32_t> crash;
        if (!crashes.empty()) {
            crash = crashes.front();
            crashes.pop_front();
        }
        return {std::make_unique<Process>(crash), L""};
    }

  private:
    class Process : public ProcessHandle {
      public:
        explicit Process(std::optional<std::uint32_t> status) : status_(status) {}
        std::optional<std::wstring> imagePath() override { return std::nullopt; }
        bool terminate(std::uint32_t) override { return false; }
        bool hasExited() override { return status_.has_value(); }
        std::optional<std::uint32_t> exitCode() override { return status_; }
        bool waitingForInput() override { return !status_; }

      private:
        std::optional<std::uint32_t> status_;
    };
    Log& log_;
};

}  // namespace ombrix::fakes
