#include "updater/Form2.h"

#include "updater/Controls.h"
#include "updater/ProductClose.h"
#include "updater/Relaunch.h"
#include "updater/Replace.h"
#include "updater/RollbackRecord.h"
#include "updater/Texts.h"

namespace ombrix::updater {

void Form2::Show() {
    if (!window_) {
        window_ = s_.createForm2(*this);
        Load();
    }
    // The load handler hid the window; it stays a hidden carrier of the timer.
}

void Form2::Load() {
    // The designed timer runs from the window's creation; it must not tick into the close wait.
    window_->stopTimer(form2::Timer1);
    run_.installFiles = InstallFilesOf(s_);
    const std::wstring displayName = s_.form1.text(form1::Label5);
    s_.form1.blockSessionEnd(texts::kUpdatingPrefix + displayName + texts::kUpdatingSuffix);
    s_.form1.setText(form1::Label3, texts::kClosingPrefix + displayName + texts::kClosingSuffix);

    // Asked first, so that nothing the user has not saved is lost; forced only after the wait.
    auto asked = AskProductToClose(s_, ProductFileName(s_), run_.installFiles.product);
    if (!asked.empty()) {
        run_.install.restartProduct = true;
    }
    WaitForExit(s_, asked, kCloseWaitMs);
    s_.form1.setText(form1::Label3, texts::kDownloadComplete);
    KillPasses();
    // The timer counts from here: nothing above ran under a tick.
    armed_ = true;
    window_->startTimer(form2::Timer1, form2::kTimer1IntervalMs);
    window_->hide();
}

void Form2::KillPasses() {
    for (int pass = 0; pass < 4; ++pass) {
        KillProcessByName(ProductFileName(s_));
    }
}

void Form2::KillProcessByName(const std::wstring& name) {
    const auto entries = s_.processes.snapshot();
    if (!entries) {
        return;
    }
    const std::wstring product = ProgramFile(name);
    for (const auto& entry : *entries) {
        auto process = OpenIfProduct(s_, entry, name, product);
        if (process && process->terminate(0)) {
            run_.install.restartProduct = true;
            terminated_.push_back(std::move(process));
        }
    }
}

void Form2::onTimer(int timer) {
    if (timer != form2::Timer1 || !armed_ || started_ || run_.phase != Phase::Waiting) {
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

void Form2::Install() {
    WaitForExit(s_, terminated_, kExitWaitMs);
    terminated_.clear();
    run_.phase = Phase::Installing;
    InstallProgress& progress = run_.install;
    const InstallFiles& files = run_.installFiles;

    s_.form1.setText(form1::Label3, texts::kCopying);
    const auto failure = ReplaceProduct(run_);
    progress.replaceOver = true;
    s_.form1.blockSessionEnd(std::nullopt);
    if (failure) {
        if (!progress.sessionEnding) {
            const std::wstring why = failure->reason.empty() ? L"" : L"\n" + failure->reason;
            run_.prompts.show(texts::kCannotReplace + why, std::wstring(texts::kNoticeTitle),
                              kMbInformation);
        }
        run_.end(kExitFailed);
    }
    // The update is installed; a download that cannot be removed is only left behind.
    run_.heldDownload.reset();
    s_.files.deleteFile(files.download);
    s_.form1.setText(form1::Label3, L"");
    if (progress.sessionEnding) {
        EndInstalled();  // nobody is there to answer
    }

    const std::wstring displayName = s_.form1.text(form1::Label5);
    const int answer =
        run_.prompts.show(texts::kRelaunchPrefix + displayName + texts::kRelaunchSuffix,
                          std::wstring(texts::kNoticeTitle), kMbYesNo);
    if (answer == kAnswerYes) {
        Relaunch();
    }
    EndInstalled();
}

void Form2::Relaunch() {
    const InstallFiles& files = run_.installFiles;
    const std::wstring displayName = s_.form1.text(form1::Label5);
    Started started = StartProduct(s_, files.product);
    if (started.process && StartedWell(s_, *started.process)) {
        run_.install.restartProduct = false;
        return;
    }
    if (!s_.files.fileExists(files.backup)) {
        // Nothing to go back to: the new product stays, and the user hears why it did not start.
        if (!started.process) {
            run_.prompts.show(texts::kCannotStartPrefix + displayName + texts::kCannotStartSuffix +
                                  L"\n" + started.failure,
                              std::wstring(texts::kNoticeTitle), kMbInformation);
        }
        return;
    }
    // Back before the box, so that a run ended under it leaves the old product in place.
    if (WithRetries(s_.clock, [&] { return s_.files.moveFile(files.backup, files.product); })) {
        // The new product stays, and so does the backup, the last good copy: the record tells
        // the next run's repair to put it back (a run ended under the box leaves it too).
        RecordFailedRollback(s_, files.product);
        run_.prompts.show(texts::kRollbackFailed + files.backup, std::wstring(texts::kNoticeTitle),
                          kMbInformation);
        run_.end(kExitFailed);
    }
    run_.install.newInPlace = false;
    run_.install.restartProduct = true;
    run_.prompts.show(texts::kRolledBack, std::wstring(texts::kNoticeTitle), kMbInformation);
    run_.end(kExitFailed);
}

void Form2::EndInstalled() {
    run_.phase = Phase::Ended;
    window_->close();
    s_.form1.close();
    run_.end(run_.install.newInPlace ? kExitInstalled : kExitFailed);
}

bool Form2::ReplaceUnderWay() const {
    return run_.phase == Phase::Waiting ||
           (run_.phase == Phase::Installing && !run_.install.replaceOver);
}

bool Form2::onQueryEndSession() {
    if (!ReplaceUnderWay()) {
        return true;
    }
    run_.install.sessionEnding = true;
    return false;
}

void Form2::onEndSession(bool ending) {
    if (!ending || run_.phase == Phase::Ended) {
        return;
    }
    run_.install.sessionEnding = true;
    if (run_.phase == Phase::Starting || run_.phase == Phase::Downloading) {
        run_.end(kExitCancelled);  // the partial download goes with it
    }
    if (ReplaceUnderWay()) {
        FinishForSessionEnd();
    }
    run_.end(run_.install.newInPlace ? kExitInstalled : kExitFailed);
}

void Form2::FinishForSessionEnd() {
    // The system may end the process once this handler returns: the replace is finished (or the
    // old product put back) before that, from here. What it interrupted never resumes.
    started_ = true;
    if (window_) {
        window_->stopTimer(form2::Timer1);
    }
    KillPasses();
    Install();
    std::abort();  // Install ends the run
}

void Form2::onClosed() {}

}  // namespace ombrix::updater
