#include "bench/probe/answer_watch.h"

#include <algorithm>

#include "bench/probe/stopwatch.h"

namespace ombrix::bench {
namespace {
constexpr DWORD kAskEveryMs = 50;
}  // namespace

void AnswerWatch::start(HWND window) {
    if (thread_ != nullptr) {
        return;
    }
    window_ = window;
    thread_ = CreateThread(nullptr, 0, &AnswerWatch::Main, this, 0, nullptr);
}

AnswerWatch::Waits AnswerWatch::stop() {
    ended_ = true;
    if (thread_ != nullptr) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return waits_;
}

DWORD WINAPI AnswerWatch::Main(void* self) {
    static_cast<AnswerWatch*>(self)->run();
    return 0;
}

void AnswerWatch::run() {
    const Stopwatch clock;
    while (!ended_) {
        const double asked = clock.seconds();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
        const double waited = clock.seconds() - asked;
        if (!waits_.first) {
            waits_.first = waited;
        } else if (ended_) {
            waits_.atEnd = waited;
        } else {
            waits_.slowest = std::max(waits_.slowest.value_or(0), waited);
        }
        Sleep(kAskEveryMs);
    }
}

}  // namespace ombrix::bench
