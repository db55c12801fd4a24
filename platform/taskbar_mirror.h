#pragma once
// A progress bar whose progress the taskbar button shows as well: a moving bar there while the
// bar here has no length, the bar's share once it has one, and an error look once the work
// failed, which stays. The button hears of a value only when its thousandth part changes: each
// call goes to the shell.
#include <cstdint>

#include "platform/progress_bar.h"
#include "platform/taskbar.h"

namespace ombrix {

class TaskbarMirror final : public ProgressBar, public TaskbarProgress {
  public:
    static constexpr std::uint64_t kSteps = 1000;

    TaskbarMirror(ProgressBar& bar, TaskbarProgress& button) : bar_(bar), button_(button) {}

    void setMaximum(std::int32_t maximum) override;
    std::int32_t maximum() override { return bar_.maximum(); }
    void setValue(std::int32_t value) override;
    std::int32_t value() override { return bar_.value(); }
    void setIndeterminate(bool on) override;

    // The button alone.
    void setState(State state) override;
    void setValue(std::uint64_t done, std::uint64_t total) override;

  private:
    void showShare();

    ProgressBar& bar_;
    TaskbarProgress& button_;
    State state_ = State::None;
    bool indeterminate_ = false;
    std::uint64_t shownStep_ = 0;
    bool shown_ = false;
};

}  // namespace ombrix
