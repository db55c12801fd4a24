#pragma once
// Message boxes answered from a list, each one logged.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_basics.h"
#include "platform/message_box.h"

namespace ombrix::fakes {

class FakeBoxes : public MessageBoxes {
  public:
    struct Shown {
        std::wstring text;
        std::optional<std::wstring> title;
        int style;
    };
    explicit FakeBoxes(Log& log) : log_(log) {}
    std::vector<Shown> shown;
    std::deque<int> answers;  // answers in order; OK (1) when none is left
    std::function<void()> whileOpen;

    int show(const std::wstring& text, const std::optional<std::wstring>& title,
             int style) override {
        log_.push_back(L"box " + text);
        shown.push_back({text, title, style});
        if (whileOpen) {
            auto event = std::move(whileOpen);
            whileOpen = nullptr;
            event();
        }
        if (answers.empty()) {
            return 1;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

  private:
    Log& log_;
};

}  // namespace ombrix::fakes
