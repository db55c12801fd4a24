#pragma once
// Running processes, their windows and how they answer a request to close.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_basics.h"
#include "platform/processes.h"

namespace ombrix::fakes {

class FakeProcesses : public Processes {
  public:
    struct Proc {
        std::uint32_t id;
        std::wstring exeName;
        std::wstring imagePath;
        bool openable = true;
        bool running = true;
        int exitAfterChecks = 0;  // hasExited turns true only after this many looks
        std::vector<WindowId> windows{};
        enum class Answer { Agrees, Refuses, Hangs } answer = Answer::Agrees;
        std::uint32_t exitStatus = 0;
    };
    explicit FakeProcesses(Log& log) : log_(log) {}
    std::vector<Proc> procs;
    bool snapshotFails = false;
    int snapshots = 0;
    int openHandles = 0;

    std::optional<std::vector<ProcessEntry>> snapshot() override {
        ++snapshots;
        if (snapshotFails) {
            return std::nullopt;
        }
        std::vector<ProcessEntry> entries;
        for (const auto& p : procs) {
            if (p.running) {
                entries.push_back({p.id, p.exeName});
            }
        }
        return entries;
    }
    std::unique_ptr<ProcessHandle> open(std::uint32_t id) override {
        for (auto& p : procs) {
            if (p.id == id && p.openable) {
                return std::make_unique<Handle>(*this, p);
            }
        }
        return nullptr;
    }
    std::vector<WindowId> windowsOf(std::uint32_t id) override {
        for (const auto& p : procs) {
            if (p.id == id && p.running) {
                return p.windows;
            }
        }
        return {};
    }
    bool askToEnd(WindowId window, unsigned) override {
        log_.push_back(L"ask " + std::to_wstring(window));
        Proc* p = owner(window);
        return p && p->answer == Proc::Answer::Agrees;
    }
    // A program told that the session ends saves and ends; one told it goes on stays.
    void tellEnd(WindowId window, bool ending, unsigned) override {
        log_.push_back(L"tell " + std::to_wstring(window) + (ending ? L" ending" : L" goes on"));
        if (Proc* p = owner(window); p && ending) {
            p->running = false;
        }
    }
    // Only a program that would end anyway closes when asked.
    void close(WindowId window) override {
        log_.push_back(L"close " + std::to_wstring(window));
        if (Proc* p = owner(window); p && p->answer == Proc::Answer::Agrees) {
            p->running = false;
        }
    }
    bool windowExists(WindowId window) override { return owner(window) != nullptr; }

    bool isRunning(std::uint32_t id) const {
        for (const auto& p : procs) {
            if (p.id == id) {
                return p.running;
            }
        }
        return false;
    }

  private:
    Proc* owner(WindowId window) {
        for (auto& p : procs) {
            if (p.running &&
                std::find(p.windows.begin(), p.windows.end(), window) != p.windows.end()) {
                return &p;
            }
        }
        return nullptr;
    }

    class Handle : public ProcessHandle {
      public:
        Handle(FakeProcesses& owner, Proc& proc) : owner_(owner), proc_(proc) {
            ++owner_.openHandles;
        }
        ~Handle() override { --owner_.openHandles; }
        std::optional<std::wstring> imagePath() override { return proc_.imagePath; }
        bool terminate(std::uint32_t) override {
            owner_.log_.push_back(L"terminate " + std::to_wstring(proc_.id));
            proc_.running = false;
            return true;
        }
        bool hasExited() override {
            if (proc_.exitAfterChecks > 0) {
                --proc_.exitAfterChecks;
                return false;
            }
            return !proc_.running;
        }
        std::optional<std::uint32_t> exitCode() override {
            return proc_.running ? std::nullopt : std::optional(proc_.exitStatus);
        }
        bool waitingForInput() override { return proc_.running; }

      private:
        FakeProcesses& owner_;
        Proc& proc_;
    };
    Log& log_;
};

}  // namespace ombrix::fakes
