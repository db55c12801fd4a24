#pragma once
// Modal message boxes, owned by the program's main window while it exists.
#include <optional>
#include <string>

namespace ombrix {

inline constexpr int kMbOk = 0;
inline constexpr int kMbYesNo = 4;
inline constexpr int kMbInformation = 64;
inline constexpr int kAnswerYes = 6;

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // Shows a modal box and returns the answer (6 for Yes). Without a title the box bears the
    // application's title.
    virtual int show(const std::wstring& text, const std::optional<std::wstring>& title,
                     int style) = 0;
};

}  // namespace ombrix
