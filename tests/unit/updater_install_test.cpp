#include <gtest/gtest.h>

#include "fakes/updater_rig.h"

namespace ombrix {
namespace {

using fakes::ExecutableBytes;
using fakes::UpdaterRig;

constexpr wchar_t kOtherFolder[] = L"D:\\Other Install";

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
};

TEST_F(InstallTest, LoadTerminatesOnlyThisFoldersProductInFourPasses) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    EXPECT_FALSE(rig.processes.isRunning(10));
    EXPECT_FALSE(rig.processes.isRunning(11));  // letter case ignored
    EXPECT_TRUE(rig.processes.isRunning(12));   // only contains the name
    EXPECT_TRUE(rig.processes.isRunning(13));   // another installation
    EXPECT_TRUE(rig.processes.isRunning(14));
    EXPECT_EQ(rig.processes.snapshots, 4);
    ASSERT_NE(rig.form2Window, nullptr);
    EXPECT_EQ(rig.form2Window->timers[form2::Timer1], 3000u);
    EXPECT_FALSE(rig.form2Window->visible);
    EXPECT_EQ(rig.status(), L"文件已经下载完成！");
}

TEST_F(InstallTest, ProcessThatCannotBeOpenedIsSkippedAndEveryHandleIsClosed) {
    rig.processes.procs[0].openable = false;
    ASSERT_NO_FATAL_FAILURE(handOver());
    EXPECT_TRUE(rig.processes.isRunning(10));
    EXPECT_FALSE(rig.processes.isRunning(11));
    // Only the terminated process stays open, to be waited for; the others were closed.
    EXPECT_EQ(rig.processes.openHandles, 1);
    rig.boxes.answers = {7};
    rig.tick();
    EXPECT_EQ(rig.processes.openHandles, 0);
}

TEST_F(InstallTest, SnapshotFailureEndsThePassesSilently) {
    rig.processes.snapshotFails = true;
    ASSERT_NO_FATAL_FAILURE(handOver());
    EXPECT_TRUE(rig.boxes.shown.empty());
    EXPECT_EQ(rig.processes.snapshots, 4);
}

TEST_F(InstallTest, TickReplacesDeletesAsksAndStartsOnYes) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {kAnswerYes};
    rig.boxes.whileOpen = [&] { EXPECT_EQ(rig.status(), L""); };
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);

    EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], newProduct);
    EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix")));
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, L"程序已经升级完成，现在是否运行Ombrix？");
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[0].style, kMbYesNo);
    EXPECT_EQ(rig.app.started, std::vector<std::wstring>{rig.path(L"ombrix.exe")});

    // Copy status first, then the windows unloaded in order.
    const auto at = [&](const std::wstring& entry) {
        return std::find(rig.log.begin(), rig.log.end(), entry) - rig.log.begin();
    };
    EXPECT_LT(at(L"replace " + rig.path(L"ombrix.exe") + L" <- " + rig.path(L"ombrix")),
              at(L"delete " + rig.path(L"ombrix")));
    EXPECT_LT(at(L"close Form2"), at(L"close Form1"));
    EXPECT_LT(at(L"close Form1"), at(L"exit 0"));
}

TEST_F(InstallTest, NoInstallsWithoutStarting) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {7};
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], newProduct);
    EXPECT_TRUE(rig.app.started.empty());
}

TEST_F(InstallTest, CopyingStatusShowsDuringTheReplace) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    std::wstring statusAtReplace;
    rig.files.replaceFailure = L"Access is denied.";
    rig.boxes.whileOpen = [&] { statusAtReplace = rig.status(); };
    EXPECT_EQ(rig.tick(), updater::kExitFailed);
    EXPECT_EQ(statusAtReplace, L"正在复制文件......");
    ASSERT_FALSE(rig.boxes.shown.empty());
    EXPECT_EQ(rig.boxes.shown[0].text, L"无法替换程序文件，升级未完成！\nAccess is denied.");
    EXPECT_EQ(rig.boxes.shown[0].style, kMbInformation);
    EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], oldProduct);
    EXPECT_TRUE(rig.files.fileExists(rig.path(L"ombrix")));  // the download stays
    EXPECT_TRUE(rig.app.started.empty());
}

TEST_F(InstallTest, UndeletableDownloadStillCountsAsInstalled) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.files.undeletable.insert(rig.path(L"ombrix"));
    rig.boxes.answers = {7};
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.status(), L"");
}

TEST_F(InstallTest, ProductThatCannotStartIsReportedButTheUpdateStands) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {kAnswerYes};
    rig.app.startFailure = L"Bad format.";
    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    ASSERT_EQ(rig.boxes.shown.size(), 2u);
    EXPECT_EQ(rig.boxes.shown[1].text, L"无法启动Ombrix！\nBad format.");
    EXPECT_EQ(rig.boxes.shown[1].title, L"提示：");
    EXPECT_FALSE(rig.form1Window.open);
}

TEST_F(InstallTest, WaitsForTerminatedProcessesButNotForever) {
    rig.processes.procs[0].exitAfterChecks = 3;
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {7};
    rig.tick();
    EXPECT_EQ(rig.clock.idles, 3);

    UpdaterRig stuck;
    stuck.processes.procs.push_back(
        {20, L"ombrix.exe", stuck.path(L"ombrix.exe"), true, true, 1000000});
    ASSERT_EQ(stuck.download(newProduct), -1);
    stuck.boxes.answers = {7};
    EXPECT_EQ(stuck.tick(), updater::kExitInstalled);
    EXPECT_GE(stuck.clock.now, 5000u);
    EXPECT_LT(stuck.clock.now, 5100u);
}

TEST_F(InstallTest, CancelOrConfirmedCloseWhileWaitingKeepsEverything) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.onClick(form1::Command2); }), updater::kExitCancelled);
    EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], oldProduct);
    EXPECT_EQ(rig.files.files[rig.path(L"ombrix")], newProduct);

    InstallTest::SetUp();  // fresh processes for a second rig below
    UpdaterRig closing;
    closing.processes.procs.push_back(
        {30, L"ombrix.exe", closing.path(L"ombrix.exe"), true, true, 2});
    ASSERT_EQ(closing.download(newProduct), -1);
    closing.boxes.answers = {kAnswerYes};
    closing.clock.onIdle = [&] { closing.form1.onClick(form1::close1); };
    EXPECT_EQ(closing.tick(), updater::kExitCancelled);
    EXPECT_TRUE(closing.files.fileExists(closing.path(L"ombrix")));
    EXPECT_FALSE(closing.files.fileExists(closing.path(L"ombrix.exe")));
}

TEST_F(InstallTest, TickUnderAnOpenBoxIsHeldAndRunsOnceAfterNo) {
    ASSERT_NO_FATAL_FAILURE(handOver());
    rig.boxes.answers = {7, 7};
    // The exit confirmation is open when the timer ticks.
    rig.boxes.whileOpen = [&] { EXPECT_EQ(rig.tick(), -1); };
    rig.form1.onClick(form1::close1);
    EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], oldProduct);  // not yet
    ASSERT_NE(rig.form2Window, nullptr);
    EXPECT_EQ(rig.form2Window->timers[form2::Timer1], 100u);  // retried soon

    EXPECT_EQ(rig.tick(), updater::kExitInstalled);
    EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], newProduct);
    EXPECT_EQ(rig.tick(), -1);  // a late tick does nothing
    EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(),
                         L"replace " + rig.path(L"ombrix.exe") + L" <- " + rig.path(L"ombrix")),
              1);
}

}  // namespace
}  // namespace ombrix
