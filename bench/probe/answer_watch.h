#pragma once
// Asks the updater's main window for an answer every 50 ms on a thread of its own, so that the
// probe's own loop, which times the status line, never waits for a busy window. An answer that
// comes back after the final text was seen straddled the end of the download (the checks that
// follow it do not pump) and is kept apart.
#include <windows.h>

#include <atomic>
#include <optional>

namespace ombrix::bench {

class AnswerWatch {
  public:
    struct Waits {
        std::optional<double> first;    // while the window was still being shown
        std::optional<double> slowest;  // of the rest during the download
        std::optional<double> atEnd;    // the one that was answered only after the final text
    };

    AnswerWatch() = default;
    ~AnswerWatch() { stop(); }
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;

    void start(HWND window);
    // The final text is showing: no message is sent after this.
    void markEnded() { ended_ = true; }
    // Ends the thread; the waits are then final.
    Waits stop();

  private:
    static DWORD WINAPI Main(void* self);
    void run();

    HWND window_ = nullptr;
    HANDLE thread_ = nullptr;
    std::atomic<bool> ended_{false};
    Waits waits_;
};

}  // namespace ombrix::bench
