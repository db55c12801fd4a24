#pragma once
// Passes a window's (and its transfer's) events on to its logic, which is made after them; and
// is the one place where an error escaping the logic is caught before it would cross system code.
#include <exception>
#include <functional>

#include "platform/transfer.h"
#include "platform/window.h"

namespace ombrix {

class EventRelay : public WindowEvents, public TransferEvents {
  public:
    // `onError` reports an escaped error and ends the program.
    explicit EventRelay(std::function<void(const std::exception&)> onError)
        : onError_(std::move(onError)) {}

    void setTarget(WindowEvents* target) { target_ = target; }
    void setTransferTarget(TransferEvents* target) { transferTarget_ = target; }

    void onMouseDown(int control, MouseButton button) override {
        relay([&](WindowEvents& t) { t.onMouseDown(control, button); });
    }
    void onMouseMove(int control) override {
        relay([&](WindowEvents& t) { t.onMouseMove(control); });
    }
    void onClick(int control) override {
        relay([&](WindowEvents& t) { t.onClick(control); });
    }
    void onCloseRequest() override {
        relay([&](WindowEvents& t) { t.onCloseRequest(); });
    }
    void onTimer(int timer) override {
        relay([&](WindowEvents& t) { t.onTimer(timer); });
    }
    void onTransferState(TransferState state) override {
        relay(transferTarget_, [&](TransferEvents& t) { t.onTransferState(state); });
    }
    void onClosed() override {
        relay([&](WindowEvents& t) { t.onClosed(); });
    }
    bool onQueryEndSession() override {
        bool agreed = true;
        relay([&](WindowEvents& t) { agreed = t.onQueryEndSession(); });
        return agreed;
    }
    void onEndSession(bool ending) override {
        relay([&](WindowEvents& t) { t.onEndSession(ending); });
    }

  private:
    template <typename Call>
    void relay(Call call) {
        relay(target_, call);
    }
    template <typename Target, typename Call>
    void relay(Target* target, Call call) {
        if (!target) {
            return;
        }
        try {
            call(*target);
        } catch (const std::exception& error) {
            onError_(error);
        }
    }

    std::function<void(const std::exception&)> onError_;
    WindowEvents* target_ = nullptr;
    TransferEvents* transferTarget_ = nullptr;
};

}  // namespace ombrix
