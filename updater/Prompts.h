#pragma once
#include <optional>
#include <string>

#include "platform/message_box.h"

namespace ombrix::updater {

// The updater's message boxes, counted while open so that a timer tick arriving under a box
// can be held back.
class Prompts {
  public:
    explicit Prompts(MessageBoxes& boxes) : boxes_(boxes) {}

    int show(const std::wstring& text, const std::optional<std::wstring>& title, int style) {
        ++open_;
        const int answer = boxes_.show(text, title, style);
        --open_;
        return answer;
    }
    bool anyOpen() const { return open_ > 0; }

  private:
    MessageBoxes& boxes_;
    int open_ = 0;
};

}  // namespace ombrix::updater
