#include <gtest/gtest.h>

#include "fakes/updater_rig.h"
#include "updater/Relaunch.h"
#include "updater/RollbackRecord.h"
#include "updater/Wait.h"

namespace ombrix {
namespace {

using fakes::ExecutableBytes;
using fakes::UpdaterRig;
using Proc = fakes::FakeProcesses::Proc;

constexpr wchar_t kOtherFolder[] = L"D:\\Other Install";
constexpr std::uint32_t kAccessViolation = 0xC0000005u;

class InstallTest : public ::testing::Test {
  protected:
    UpdaterRig rig;
    fakes::Bytes oldProduct = ExecutableBytes(3000, 0x11);
    fakes::Bytes newProduct = ExecutableBytes(5000, 0x22);

    void SetUp() override {
        rig.files.files[rig.path(L"Ombrix.exe")] = oldProduct;
        auto& p = rig.processes.procs;
        p.push_back({10, L"Ombrix.exe", rig.path(L"Ombrix.exe")});
        p.push_back({11, L"OMBRIX.EXE", rig.path(L"OMBRIX.EXE")});
        p.push_back({12, L"notombrix.exe", rig.path(L"notombrix.exe")});
        p.push_back({13, L"Ombrix.exe", std::wstring(kOtherFolder) + L"\\Ombrix.exe"});
        p.push_back({14, L"ombrix.exe.bak", rig.path(L"ombrix.exe.bak")});
    }

    // Downloads the new product and lets the install window load.
    void handOver() { ASSERT_EQ(rig.download(newProduct), -1); }
    std::ptrdiff_t at(const std::wstring& entry) {
        return std::find(rig.log.begin(), rig.log.end(), entry) - rig.log.begin();
    }
    // What the program folder holds besides the download folder, in lower case.
    std::vector<std::wstring> folderFiles() {
        std::vector<std::wstring> names;
        for (const auto& [path, bytes] : rig.files.files) {
            names.push_back(fakes::Lower(path.substr(path.rfind(L'\\') + 1)));
        }
        return names;
    }
    const std::wstring product() { return rig.path(L"ombrix.exe"); }
};

TEST(WaitTest, AsksUntilTrueOrTheDeadlineNeverIdlingPastIt) {
    fakes::FakeClock clock;
    int asked = 0;
    EXPECT_FALSE(updater::WaitUntil(clock, 250, 100, [&] { return ++asked, false; }));
    EXPECT_EQ(clock.now, 250u);
    EXPECT_EQ(asked, 4);  // at 0, 100, 200 and once more at the deadline
    EXPECT_TRUE(updater::WaitUntil(clock, 1000, 100, [&] { return clock.now >= 550; }));
    EXPECT_EQ(clock.now, 550u);
}

TEST_F(InstallTest, LoadEndsOnlyThisFoldersProductAndStartsTheTimerAfterThePasses) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    EXPECT_FALSE(rig.processes.isRunning(10));
    EXPECT_FALSE(rig.processes.isRunning(11));  // letter case ignored
    EXPECT_TRUE(rig.processes.isRunning(12));   // only contains the name
    EXPECT_TRUE(rig.processes.isRunning(13));   // another installation
    EXPECT_TRUE(rig.processes.isRunning(14));
    EXPECT_EQ(rig.processes.snapshots, 5);  // the request to close, then four passes
    ASSERT_NE(rig.form2Window, nullptr);
    EXPECT_EQ(rig.form2Window->timers[form2::Timer1], 3000u);
    EXPECT_FALSE(rig.form2Window->visible);
    EXPECT_EQ(rig.processes.openHandles, 0);
    EXPECT_EQ(rig.form1Window.sessionBlock, L"正在升级Ombrix，请稍候......");
}

TEST_F(InstallTest, ProductIsAskedFirstAndForcedOnlyAfterTheWait) {
    auto& p = rig.processes.procs;
    p[0].windows = {100, 101};  // agrees: saves and ends
    p[1].windows = {110};       // says no, and stays
    p[1].answer = Proc::Answer::Refuses;
    p.push_back({15, L"ombrix.exe", product(), true, true, 0, {150}, Proc::Answer::Hangs});
    std::wstring statusWhileWaiting;
    rig.clock.onIdle = [&] {
        statusWhileWaiting = rig.status();
        rig.form2Events->onTimer(form2::Timer1);  // the designed timer ticks: not yet
    };
    ASSERT_NO_FATAL_FAILURE(handOver());
    EXPECT_EQ(rig.files.files[product()], oldProduct);

    EXPECT_EQ(statusWhileWaiting, L"正在关闭Ombrix......");
    EXPECT_LT(at(L"ask 100"), at(L"ask 101"));
    EXPECT_LT(at(L"ask 101"), at(L"tell 100 ending"));
    EXPECT_EQ(at(L"close 100"), static_cast<std::ptrdiff_t>(rig.log.size()));  // it had ended
    EXPECT_LT(at(L"tell 110 goes on"), at(L"close 110"));  // never "ending" after a no
    EXPECT_LT(at(L"tell 150 goes on"), at(L"close 150"));
    EXPECT_LT(at(L"close 150"), at(L"terminate 11"));
    EXPECT_LT(at(L"terminate 15"), at(L"timer on 3000"));
    EXPECT_GE(rig.clock.now, 15000u);  // forced within the bound, not before it
    EXPECT_LT(rig.clock.now, 15100u);
    EXPECT_FALSE(rig.processes.isRunning(11));
}

TEST_F(InstallTest, CancelDuringTheCloseWaitStartsTheProductAgainOnce) {
    rig.processes.procs[0].windows = {100};
    rig.processes.procs[0].answer = Proc::Answer::Refuses;
    rig.clock.onIdle = [&] { rig.form1.onClick(form1::Command2); };
    EXPECT_EQ(rig.download(newProduct), updater::kExitCancelled);
    EXPECT_EQ(rig.launcher.started, std::vector<std::wstring>{product()});
    EXPECT_EQ(rig.files.files[product()], oldProduct);
    EXPECT_EQ(rig.files.files[rig.path(L"ombrix")], newProduct);  // kept, as before
}

TEST_F(InstallTest, YesInstallsThroughACopyAndABackupStartsAndLeavesNothingBehind) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {kAnswerYes};
    rig.boxes.whileOpen = [&] { EXPECT_EQ(rig.status(), L""); };
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);

    EXPECT_EQ(rig.files.files[product()], newProduct);
    EXPECT_EQ(folderFiles(), std::vector<std::wstring>{L"ombrix.exe"});
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, L"程序已经升级完成，现在是否运行Ombrix？");
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[0].style, kMbYesNo);
    EXPECT_EQ(rig.launcher.started, std::vector<std::wstring>{product()});

    const std::wstring fresh = product() + L".update-new";
    const std::wstring backup = product() + L".update-old";
    EXPECT_LT(at(L"create-new " + fresh), at(L"copy " + product() + L" -> " + backup));
    EXPECT_LT(at(L"copy " + product() + L" -> " + backup),
              at(L"move " + fresh + L" -> " + product()));
    EXPECT_LT(at(L"move " + fresh + L" -> " + product()), at(L"delete " + rig.path(L"ombrix")));
    EXPECT_LT(at(L"start " + product()), at(L"delete " + backup));  // kept until it started
    EXPECT_LT(at(L"close Form2"), at(L"close Form1"));
    EXPECT_LT(at(L"close Form1"), at(L"exit 0"));
}

TEST_F(InstallTest, NoInstallsWithoutStartingAndAnOrdinaryEndIsAGoodStart) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {7};
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_EQ(folderFiles(), std::vector<std::wstring>{L"ombrix.exe"});
    EXPECT_TRUE(rig.launcher.started.empty());  // not even the old one: something new is there

    UpdaterRig quick;
    quick.files.files[quick.path(L"Ombrix.exe")] = oldProduct;
    ASSERT_EQ(quick.download(newProduct), -1);
    quick.boxes.answers = {kAnswerYes};
    quick.launcher.crashes = {1u};  // ended at once, but not by a failure
    EXPECT_EQ(quick.tick(), updater::kExitInstalled);
    EXPECT_EQ(quick.files.files[quick.path(L"Ombrix.exe")], newProduct);
}

TEST_F(InstallTest, NewProductThatCrashesAtStartIsRolledBackAndTheOldOneStarted) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {kAnswerYes};
    rig.launcher.crashes = {kAccessViolation};
    EXPECT_EQ(rig.tick(), updater::kExitFailed);
    ASSERT_EQ(rig.boxes.shown.size(), 2u);
    EXPECT_EQ(rig.boxes.shown[1].text, L"新版本无法启动，已恢复原来的版本！");
    EXPECT_EQ(rig.boxes.shown[1].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[1].style, kMbInformation);
    EXPECT_EQ(rig.files.files[product()], oldProduct);
    EXPECT_EQ(folderFiles(), std::vector<std::wstring>{L"ombrix.exe"});
    EXPECT_EQ(rig.launcher.started, (std::vector<std::wstring>{product(), product()}));

    UpdaterRig failing;  // a start that fails outright: the same, without a second start
    failing.files.files[failing.path(L"Ombrix.exe")] = oldProduct;
    ASSERT_EQ(failing.download(newProduct), -1);
    failing.boxes.answers = {kAnswerYes};
    failing.launcher.startFailure = L"Bad format.";
    EXPECT_EQ(failing.tick(), updater::kExitFailed);
    EXPECT_EQ(failing.files.files[failing.path(L"Ombrix.exe")], oldProduct);
    EXPECT_EQ(failing.boxes.shown.back().text, L"新版本无法启动，已恢复原来的版本！");
}

TEST_F(InstallTest, RollbackThatCannotMoveTheBackupSaysSoKeepsItAndTheNextStartPutsItBack) {
    const std::wstring backup = product() + L".update-old";
    const std::wstring record = rig.path(L"download\\ombrix.rollback");
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {kAnswerYes};
    // Held from the question on, when the backup is made: the move back fails.
    rig.boxes.whileOpen = [&] { rig.files.heldFor[backup] = 1000000; };
    rig.launcher.crashes = {kAccessViolation};
    EXPECT_EQ(rig.tick(), updater::kExitFailed);
    ASSERT_EQ(rig.boxes.shown.size(), 2u);
    EXPECT_EQ(rig.boxes.shown[1].text,
              L"新版本无法启动，原来的版本未能恢复，备份保存在：" + backup);
    EXPECT_EQ(rig.boxes.shown[1].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[1].style, kMbInformation);
    EXPECT_EQ(rig.files.files.at(product()), newProduct);
    EXPECT_EQ(rig.files.files.at(backup), oldProduct);
    const auto recorded = updater::FormatRollbackRecord(fakes::FakeHashing::DigestOf(newProduct));
    EXPECT_EQ(rig.files.files.at(record), recorded);
    EXPECT_EQ(std::string(recorded.begin(), recorded.end()).substr(0, 25),
              "ombrix-rollback 1\nsha256 ");
    EXPECT_EQ(rig.launcher.started, std::vector<std::wstring>{product()});  // nothing more
    EXPECT_LT(at(L"move " + rig.path(L"download\\ombrix.rollback.new") + L" -> " + record),
              at(L"box 新版本无法启动，原来的版本未能恢复，备份保存在：" + backup));

    // The next start: still held, it ends with the same words and installs nothing; let go,
    // the backup is back and the record gone; a product of other bytes makes the record stale.
    const auto left = rig.files.files;
    const auto nextStart = [&](const fakes::Bytes& productBytes, bool held) {
        auto next = std::make_unique<UpdaterRig>();
        next->files.files = left;
        next->files.files[product()] = productBytes;
        next->files.folders.insert(rig.path(L"download"));
        if (held) {
            next->files.heldFor[backup] = 1;
        }
        EXPECT_EQ(next->exitCodeOf([&] { next->form1.Load(); }), held ? updater::kExitFailed : -1);
        return next;
    };
    const auto held = nextStart(newProduct, true);
    EXPECT_EQ(held->boxes.shown.at(0).text, rig.boxes.shown[1].text);
    EXPECT_TRUE(held->files.fileExists(backup) && held->files.fileExists(record));
    EXPECT_TRUE(held->inet.requests.empty());
    const auto back = nextStart(newProduct, false);
    EXPECT_EQ(back->files.files.at(product()), oldProduct);
    EXPECT_FALSE(back->files.fileExists(backup) || back->files.fileExists(record));
    const fakes::Bytes fixed = ExecutableBytes(6000, 0x33);
    const auto stale = nextStart(fixed, false);
    EXPECT_EQ(stale->files.files.at(product()), fixed);
    EXPECT_FALSE(stale->files.fileExists(backup) || stale->files.fileExists(record));
}

TEST_F(InstallTest, WithoutAnOldProductAFailedStartIsOnlyReported) {
    rig.files.files.clear();
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {kAnswerYes};
    rig.launcher.startFailure = L"Bad format.";
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    ASSERT_EQ(rig.boxes.shown.size(), 2u);
    EXPECT_EQ(rig.boxes.shown[1].text, L"无法启动Ombrix！\nBad format.");
    EXPECT_EQ(rig.files.files[product()], newProduct);
}

TEST_F(InstallTest, ShortLockIsWaitedOutALongOneFailsAndPutsTheOldProductBack) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.files.heldFor[product()] = 4;
    rig.boxes.answers = {7};
    const auto before = rig.clock.now;
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_EQ(rig.files.files[product()], newProduct);
    EXPECT_GE(rig.clock.now - before, 100u + 200 + 400 + 800);  // growing pauses

    UpdaterRig held;
    held.files.files[held.path(L"Ombrix.exe")] = oldProduct;
    held.processes.procs.push_back({20, L"Ombrix.exe", held.path(L"Ombrix.exe")});
    ASSERT_EQ(held.download(newProduct), -1);
    held.files.heldFor[held.path(L"ombrix.exe.update-new")] = 1000000;  // the last rename
    std::wstring statusAtBox;
    held.boxes.whileOpen = [&] { statusAtBox = held.status(); };
    const auto start = held.clock.now;
    EXPECT_EQ(held.tick(), updater::kExitFailed);
    EXPECT_GE(held.clock.now - start, 10000u);
    EXPECT_LE(held.clock.now - start, 30000u);
    EXPECT_EQ(statusAtBox, L"正在复制文件......");
    EXPECT_EQ(held.boxes.shown[0].text, L"无法替换程序文件，升级未完成！\nSharing violation.");
    EXPECT_EQ(held.boxes.shown[0].style, kMbInformation);
    EXPECT_EQ(held.files.files[held.path(L"Ombrix.exe")], oldProduct);
    EXPECT_EQ(held.files.files[held.path(L"ombrix")], newProduct);  // the download stays
    held.files.heldFor.clear();
    EXPECT_FALSE(held.files.fileExists(held.path(L"ombrix.exe.update-old")));
    // It was closed for nothing: it runs again.
    EXPECT_EQ(held.launcher.started, std::vector<std::wstring>{held.path(L"ombrix.exe")});
}

TEST_F(InstallTest, WhatWasCheckedIsInstalledThroughANewFileWhateverLiesAround) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    // After the checks: another file planted under the copy's name, and the download's name
    // showing other bytes (which its hold keeps from happening on a real system).
    const std::wstring fresh = product() + L".update-new";
    rig.files.files[fresh] = ExecutableBytes(4000, 0x66);
    rig.files.files[rig.path(L"ombrix")] = ExecutableBytes(4000, 0x77);
    rig.boxes.answers = {7};
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_EQ(rig.files.files[product()], newProduct);
    // Made new once the planted file was gone.
    const auto removed = static_cast<std::size_t>(at(L"delete " + fresh));
    ASSERT_LT(removed + 1, rig.log.size());
    EXPECT_EQ(rig.log[removed + 1], L"create-new " + fresh);

    UpdaterRig stuck;  // a name that cannot be cleared is never written through
    stuck.files.files[stuck.path(L"Ombrix.exe")] = oldProduct;
    ASSERT_EQ(stuck.download(newProduct), -1);
    stuck.files.files[stuck.path(L"ombrix.exe.update-new")] = ExecutableBytes(4000, 0x66);
    stuck.files.undeletable.insert(stuck.path(L"ombrix.exe.update-new"));
    EXPECT_EQ(stuck.tick(), updater::kExitFailed);
    EXPECT_EQ(stuck.files.files[stuck.path(L"Ombrix.exe")], oldProduct);
    EXPECT_EQ(stuck.boxes.shown[0].text, L"无法替换程序文件，升级未完成！\nFile exists.");
}

TEST_F(InstallTest, ReadOnlyProductIsMadeWritableNotWaitedFor) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.files.readOnly.insert(product());
    rig.boxes.answers = {7};
    const auto before = rig.clock.now;
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_EQ(rig.clock.now, before);
    EXPECT_EQ(rig.files.files[product()], newProduct);
    EXPECT_LT(at(L"writable " + product()),
              at(L"move " + product() + L".update-new -> " + product()));
}

TEST_F(InstallTest, OtherFailuresAreNotRetried) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.files.moveFailure = FileFailure{L"Disk full.", false};
    const auto before = rig.clock.now;
    EXPECT_EQ(rig.tick(), updater::kExitFailed);
    EXPECT_EQ(rig.clock.now, before);
    EXPECT_EQ(rig.boxes.shown[0].text, L"无法替换程序文件，升级未完成！\nDisk full.");
}

TEST_F(InstallTest, UndeletableDownloadStillCountsAsInstalled) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.files.undeletable.insert(rig.path(L"ombrix"));
    rig.boxes.answers = {7};
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.status(), L"");
}

TEST_F(InstallTest, ProcessTerminatedByThePassesIsWaitedForButNotForever) {
    rig.processes.procs[0].windows = {100};
    rig.processes.procs[0].answer = Proc::Answer::Refuses;
    rig.processes.procs[0].exitAfterChecks = 1000000;
    ASSERT_NO_FATAL_FAILURE(handOver());
    const auto before = rig.clock.now;
    rig.boxes.answers = {7};
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_GE(rig.clock.now - before, 5000u);
    EXPECT_LT(rig.clock.now - before, 5100u);
}

TEST_F(InstallTest, TickUnderAnOpenBoxIsHeldAndRunsOnceAfterNo) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {7, 7};
    // The exit confirmation is open when the timer ticks.
    rig.boxes.whileOpen = [&] { EXPECT_EQ(rig.tick(), -1); };
    rig.form1.onClick(form1::close1);
    EXPECT_EQ(rig.files.files[product()], oldProduct);        // not yet
    EXPECT_EQ(rig.form2Window->timers[form2::Timer1], 100u);  // retried soon

    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_EQ(rig.files.files[product()], newProduct);
    EXPECT_EQ(rig.tick(), -1);  // a late tick does nothing
    EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(),
                         L"move " + product() + L".update-new -> " + product()),
              1);
}

TEST_F(InstallTest, ResponseCompletingUnderTheExitBoxWaitsForTheAnswer) {
    rig.exitCodeOf([&] { rig.form1.Load(); });
    rig.inet.body = newProduct;
    rig.inet.headers[L"Content-Length"] = std::to_wstring(newProduct.size());
    rig.boxes.answers = {7};
    rig.boxes.whileOpen = [&] {
        rig.form1.onTransferState(TransferState::ResponseCompleted);
        EXPECT_EQ(rig.inet.reads, 0);  // nothing read, checked or closed under the box
        EXPECT_TRUE(rig.processes.isRunning(10));
    };
    rig.form1.onClick(form1::close1);  // No: the run goes on
    EXPECT_FALSE(rig.processes.isRunning(10));
    EXPECT_NE(rig.form2Window, nullptr);

    UpdaterRig yes;
    yes.processes.procs.push_back({20, L"Ombrix.exe", yes.path(L"Ombrix.exe")});
    yes.exitCodeOf([&] { yes.form1.Load(); });
    yes.inet.body = newProduct;
    yes.boxes.answers = {kAnswerYes};
    yes.boxes.whileOpen = [&] { yes.form1.onTransferState(TransferState::ResponseCompleted); };
    EXPECT_EQ(yes.exitCodeOf([&] { yes.form1.onClick(form1::close1); }), updater::kExitCancelled);
    EXPECT_TRUE(yes.processes.isRunning(20));
    EXPECT_TRUE(yes.files.files.empty());
    EXPECT_TRUE(yes.launcher.started.empty());

    UpdaterRig inLoop;  // a Yes in a box opened inside the chunk loop's pump
    inLoop.processes.procs.push_back({20, L"Ombrix.exe", inLoop.path(L"Ombrix.exe")});
    inLoop.boxes.answers = {kAnswerYes};
    inLoop.app.duringPump[2] = {[&] { inLoop.form1.onClick(form1::close1); }};
    EXPECT_EQ(inLoop.download(ExecutableBytes(10000)), updater::kExitCancelled);
    EXPECT_EQ(inLoop.inet.reads, 2);
    EXPECT_TRUE(inLoop.processes.isRunning(20));
}

TEST_F(InstallTest, SessionEndDuringTheDownloadRemovesThePartialAndEndsWith3) {
    rig.app.duringPump[3] = {[&] {
        EXPECT_TRUE(rig.form1.onQueryEndSession());
        rig.form1.onEndSession(true);
    }};
    EXPECT_EQ(rig.download(ExecutableBytes(10000)), updater::kExitCancelled);
    EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix")));
    EXPECT_TRUE(rig.processes.isRunning(10));
}

TEST_F(InstallTest, SessionEndFromTheCloseWaitFinishesTheReplaceFirstAndAsksNothing) {
    rig.processes.procs[0].windows = {100};
    rig.processes.procs[0].answer = Proc::Answer::Refuses;
    int idles = 0;
    rig.clock.onIdle = [&] {
        if (++idles == 2) {
            EXPECT_FALSE(rig.form1.onQueryEndSession());
            EXPECT_FALSE(rig.form2Events->onQueryEndSession());
            rig.form1.onEndSession(true);
        }
    };
    EXPECT_EQ(rig.download(newProduct), updater::kExitInstalled);
    EXPECT_EQ(rig.files.files[product()], newProduct);
    EXPECT_EQ(folderFiles(), std::vector<std::wstring>{L"ombrix.exe"});
    EXPECT_TRUE(rig.boxes.shown.empty());
    EXPECT_TRUE(rig.launcher.started.empty());

    UpdaterRig failing;  // the replace fails: the old product back, not started, exit 1
    failing.files.files[failing.path(L"Ombrix.exe")] = oldProduct;
    failing.processes.procs.push_back({20, L"Ombrix.exe", failing.path(L"Ombrix.exe")});
    ASSERT_EQ(failing.download(newProduct), -1);
    EXPECT_FALSE(failing.form1.onQueryEndSession());
    failing.files.moveFailure = FileFailure{L"Disk full.", false};
    EXPECT_EQ(failing.tick(), updater::kExitFailed);
    EXPECT_EQ(failing.files.files[failing.path(L"Ombrix.exe")], oldProduct);
    EXPECT_TRUE(failing.boxes.shown.empty());
    EXPECT_TRUE(failing.launcher.started.empty());

    UpdaterRig asking;  // once the question is up, the session may end: the update stands
    asking.files.files[asking.path(L"Ombrix.exe")] = oldProduct;
    ASSERT_EQ(asking.download(newProduct), -1);
    asking.boxes.whileOpen = [&] {
        EXPECT_TRUE(asking.form1.onQueryEndSession());
        asking.form1.onEndSession(true);
    };
    EXPECT_EQ(asking.tick(), updater::kExitInstalled);
    EXPECT_FALSE(asking.files.fileExists(asking.path(L"ombrix.exe.update-old")));
}

TEST_F(InstallTest, LeftoversOfAKilledRunArePutRightAtTheNextStart) {
    const std::wstring backup = product() + L".update-old";
    const std::wstring fresh = product() + L".update-new";
    rig.files.files.erase(product());
    rig.files.files[backup] = oldProduct;
    rig.files.files[fresh] = newProduct;
    rig.exitCodeOf([&] { rig.form1.Load(); });
    EXPECT_EQ(folderFiles(), std::vector<std::wstring>{L"ombrix.exe"});
    EXPECT_EQ(rig.files.files[product()], oldProduct);

    UpdaterRig valid;  // a backup beside a good product is only removed
    valid.files.files[valid.path(L"Ombrix.exe")] = newProduct;
    valid.files.files[valid.path(L"Ombrix.exe.update-old")] = oldProduct;
    valid.exitCodeOf([&] { valid.form1.Load(); });
    EXPECT_EQ(valid.files.files.size(), 1u);
    EXPECT_EQ(valid.files.files[valid.path(L"Ombrix.exe")], newProduct);

    UpdaterRig broken;
    broken.files.files[broken.path(L"Ombrix.exe")] = fakes::Bytes(100, 0);
    broken.files.files[broken.path(L"Ombrix.exe.update-old")] = oldProduct;
    broken.exitCodeOf([&] { broken.form1.Load(); });
    EXPECT_EQ(broken.files.files[broken.path(L"Ombrix.exe")], oldProduct);

    UpdaterRig second;  // beside another updater's install step nothing is touched
    second.app.claim = InstanceClaim::AnotherRunning;
    second.files.files[second.path(L"Ombrix.exe.update-old")] = oldProduct;
    second.exitCodeOf([&] { second.form1.Load(); });
    EXPECT_TRUE(second.files.fileExists(second.path(L"Ombrix.exe.update-old")));
}

TEST(RelaunchTest, ShellTokenOnlyForAnElevatedUpdaterBesideAnUnelevatedShellOfItsUser) {
    using updater::StartAsShellUser;
    EXPECT_TRUE(StartAsShellUser({true, true, false, true}));
    EXPECT_FALSE(StartAsShellUser({false, true, false, true}));   // not elevated: as now
    EXPECT_FALSE(StartAsShellUser({true, false, false, false}));  // no shell (Wine's prefix)
    EXPECT_FALSE(StartAsShellUser({true, true, true, true}));     // the shell is elevated too
    EXPECT_FALSE(StartAsShellUser({true, true, false, false}));   // another user's shell

    UpdaterRig rig;
    rig.launcher.ctx = {true, true, false, true};
    rig.launcher.shellStartFails = true;
    const Started started = updater::StartProduct(rig.services, L"C:\\P\\Ombrix.exe");
    EXPECT_NE(started.process, nullptr);
    EXPECT_EQ(rig.log,
              (fakes::Log{L"start as shell user C:\\P\\Ombrix.exe", L"start C:\\P\\Ombrix.exe"}));
}

}  // namespace
}  // namespace ombrix
