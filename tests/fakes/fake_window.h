#pragma once
// A window that records what the logic shows in it.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "fakes/fake_basics.h"
#include "platform/window.h"

namespace ombrix::fakes {

class FakeWindow : public Window {
  public:
    FakeWindow(Log& log, std::wstring name) : log_(log), name_(std::move(name)) {}
    std::map<int, std::wstring> texts;
    std::map<int, int> pictureOf;  // image control -> the control whose picture it shows
    std::map<int, unsigned> timers;
    bool open = true;
    bool visible = false;
    int drags = 0;
    std::function<void()> onClose;

    std::wstring text(int control) override { return open ? texts[control] : L""; }
    void setText(int control, const std::wstring& text) override {
        if (!open) {
            log_.push_back(L"setText on closed " + name_);
            return;
        }
        texts[control] = text;
    }
    void showPictureOf(int target, int source) override { pictureOf[target] = source; }
    void beginDrag() override { ++drags; }
    void show() override { visible = true; }
    void hide() override { visible = false; }
    void close() override {
        log_.push_back(L"close " + name_);
        open = false;
        if (onClose) {
            onClose();
        }
    }
    void startTimer(int timer, unsigned ms) override {
        log_.push_back(L"timer on " + std::to_wstring(ms));
        timers[timer] = ms;
    }
    void stopTimer(int timer) override {
        log_.push_back(L"timer off");
        timers.erase(timer);
    }
    void blockSessionEnd(const std::optional<std::wstring>& reason) override {
        sessionBlock = reason;
    }
    std::optional<std::wstring> sessionBlock;

  private:
    Log& log_;
    std::wstring name_;
};

}  // namespace ombrix::fakes
