#pragma once
// The progress bar of a form. The logical range and value live here and are read back from here;
// the control hears of them only when its drawn length changes, and not too often: each update
// repaints at once and costs milliseconds under Wine, while the download sets a value per 1 KiB.
#include <windows.h>

#include <cstdint>

#include "platform/progress_bar.h"
#include "platform/win32/form_window.h"

namespace ombrix {

class Win32ProgressBar final : public ProgressBar {
  public:
    // Updates of the drawn length come at most this often, except the last one.
    static constexpr DWORD kMinUpdateIntervalMs = 33;

    // Takes the designed range and value from the control.
    Win32ProgressBar(FormWindow& form, int control);
    ~Win32ProgressBar() override;
    Win32ProgressBar(const Win32ProgressBar&) = delete;
    Win32ProgressBar& operator=(const Win32ProgressBar&) = delete;

    void setMaximum(std::int32_t maximum) override;
    std::int32_t maximum() override { return maximum_; }
    void setValue(std::int32_t value) override;
    std::int32_t value() override { return value_; }
    void setIndeterminate(bool on) override;

  private:
    static LRESULT CALLBACK BarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR subclassId, DWORD_PTR refData);
    HWND bar() const { return form_.controlHandle(control_); }
    // A value held back by the rate limit is shown when the interval is over, even if no
    // further value comes (a download that stalls).
    void showLater(DWORD delayMs);
    void showHeldBack();
    int drawnLength(std::int32_t value) const;
    void sendRange();
    void sendValue();

    FormWindow& form_;
    int control_;
    std::int32_t maximum_ = 100;
    std::int32_t value_ = 0;
    int width_ = 0;  // pixels the bar fills when full
    bool indeterminate_ = false;
    std::int32_t sentValue_ = 0;
    int sentLength_ = 0;
    DWORD sentAt_ = 0;
    bool heldBack_ = false;
};

}  // namespace ombrix
