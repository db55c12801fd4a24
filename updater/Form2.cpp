#include "updater/Form2.h"

#include <algorithm>
#include <cwctype>

#include "updater/Controls.h"
#include "updater/Texts.h"

namespace ombrix::updater {
namespace {

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

}  // namespace

void Form2::Show() {
    if (!window_) {
        window_ = s_.createForm2(*this);
        Load();
    }
    // The load handler hid the window; it stays a hidden carrier of the timer.
}

void Form2::Load() {
    for (int pass = 0; pass < 4; ++pass) {
        KillProcessByName(s_.form1.text(form1::Label7) + L".exe");
    }
    window_->startTimer(form2::Timer1, form2::kTimer1IntervalMs);
    window_->hide();
}

void Form2::KillProcessByName(const std::wstring& name) {
    const auto entries = s_.processes.snapshot();
    if (!entries) {
        return;
    }
    const std::wstring wanted = Lower(name);
    const std::wstring ownCopy = Lower(ProgramFile(name));
    for (const auto& entry : *entries) {
        if (Lower(entry.exeName) != wanted) {
            continue;
        }
        auto process = s_.processes.open(entry.id);
        if (!process) {
            continue;  // cannot be opened: it keeps running, the walk goes on
        }
        const auto image = process->imagePath();
        if (!image || Lower(*image) != ownCopy) {
            continue;
        }
        if (process->terminate(0)) {
            terminated_.push_back(std::move(process));
        }
    }
}

void Form2::onTimer(int timer) {
    if (timer != form2::Timer1 || started_ || run_.phase != Phase::Waiting) {
        return;
    }
    if (run_.prompts.anyOpen()) {
        // Not under an open box (the exit confirmation, say): try again soon after.
        window_->startTimer(form2::Timer1, kHeldTickRetryMs);
        return;
    }
    // The install step runs once, however many ticks its waits let through.
    started_ = true;
    window_->stopTimer(form2::Timer1);
    Install();
}

void Form2::WaitForTerminated() {
    const auto deadline = s_.clock.nowMs() + kExitWaitMs;
    for (;;) {
        std::erase_if(terminated_, [](const auto& process) { return process->hasExited(); });
        if (terminated_.empty() || s_.clock.nowMs() >= deadline) {
            break;
        }
        // Cancel and the close button still answer while we wait.
        s_.clock.idle(20);
    }
    terminated_.clear();
}

void Form2::Install() {
    WaitForTerminated();
    run_.phase = Phase::Installing;

    const std::wstring base = s_.form1.text(form1::Label7);
    const std::wstring download = ProgramFile(base);
    const std::wstring product = ProgramFile(base + L".exe");
    s_.form1.setText(form1::Label3, texts::kCopying);
    if (const auto reason = s_.files.replaceWithCopy(download, product)) {
        run_.phase = Phase::Ended;
        run_.prompts.show(std::wstring(texts::kCannotReplace) + L"\n" + *reason,
                          std::wstring(texts::kNoticeTitle), kMbInformation);
        s_.app.exitNow(kExitFailed);
    }
    // The update is installed; a download that cannot be removed is only left behind.
    s_.files.deleteFile(download);
    s_.form1.setText(form1::Label3, L"");

    const std::wstring displayName = s_.form1.text(form1::Label5);
    const int answer =
        run_.prompts.show(texts::kRelaunchPrefix + displayName + texts::kRelaunchSuffix,
                          std::wstring(texts::kNoticeTitle), kMbYesNo);
    if (answer == kAnswerYes) {
        if (const auto reason = s_.app.startProgram(product)) {
            run_.prompts.show(texts::kCannotStartPrefix + displayName + texts::kCannotStartSuffix +
                                  L"\n" + *reason,
                              std::wstring(texts::kNoticeTitle), kMbInformation);
        }
    }
    run_.phase = Phase::Ended;
    window_->close();
    s_.form1.close();
    s_.app.exitNow(kExitInstalled);
}

void Form2::onClosed() {}

}  // namespace ombrix::updater
