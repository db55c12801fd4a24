#include "platform/taskbar_mirror.h"

#include <algorithm>

namespace ombrix {

void TaskbarMirror::setMaximum(std::int32_t maximum) {
    bar_.setMaximum(maximum);
    showShare();
}

void TaskbarMirror::setValue(std::int32_t value) {
    bar_.setValue(value);
    showShare();
}

void TaskbarMirror::setIndeterminate(bool on) {
    bar_.setIndeterminate(on);
    indeterminate_ = on;
    if (on) {
        setState(State::Indeterminate);
    } else {
        showShare();
    }
}

void TaskbarMirror::setState(State state) {
    if (state == state_ || state_ == State::Error) {
        return;  // a failure stays shown to the end
    }
    state_ = state;
    shown_ = false;
    button_.setState(state);
}

void TaskbarMirror::setValue(std::uint64_t done, std::uint64_t total) {
    button_.setValue(done, total);
}

void TaskbarMirror::showShare() {
    const std::int32_t maximum = bar_.maximum();
    if (indeterminate_ || maximum <= 0) {
        return;
    }
    setState(State::Normal);
    const auto done =
        static_cast<std::uint64_t>(std::clamp<std::int32_t>(bar_.value(), 0, maximum));
    const std::uint64_t step = done * kSteps / static_cast<std::uint64_t>(maximum);
    if (shown_ && step == shownStep_) {
        return;
    }
    shown_ = true;
    shownStep_ = step;
    button_.setValue(step, kSteps);
}

}  // namespace ombrix
