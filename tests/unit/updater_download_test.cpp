#include <gtest/gtest.h>

#include "fakes/updater_rig.h"
#include "updater/Executable.h"
#include "updater/ProgressScale.h"
#include "updater/Texts.h"
#include "updater/UrlFileName.h"

namespace ombrix {
namespace {

using fakes::ExecutableBytes;
using fakes::UpdaterRig;

TEST(UpdaterStartTest, StartDownloadMakesFolderSetsTargetAndRequests) {
    UpdaterRig rig;
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.Load(); }), -1);
    EXPECT_EQ(rig.form1Window.texts[form1::Text2], rig.path(L"ombrix"));
    EXPECT_TRUE(rig.files.folders.count(rig.path(L"download")));
    ASSERT_EQ(rig.inet.requests.size(), 1u);
    EXPECT_EQ(rig.log.back(), std::wstring(L"execute ") + fakes::kRigUrl + L" get");
    EXPECT_TRUE(rig.files.files.empty());
}

TEST(UpdaterStartTest, ExistingDownloadFolderIsLeftAlone) {
    UpdaterRig rig;
    rig.files.folders.insert(rig.path(L"download"));
    rig.exitCodeOf([&] { rig.form1.Load(); });
    for (const auto& entry : rig.log) {
        EXPECT_NE(entry.rfind(L"mkdir", 0), 0u) << "folder created again";
    }
}

TEST(UpdaterStartTest, TheLockInTheDownloadFolderDecidesWhetherTheRunGoesOn) {
    const std::wstring lock =
        std::wstring(L"lock ") + fakes::kRigFolder + L"\\download\\Update.lock";
    UpdaterRig first;  // the first run makes the folder, then holds its lock
    EXPECT_EQ(first.exitCodeOf([&] { first.form1.Load(); }), -1);
    ASSERT_GE(first.log.size(), 2u);
    EXPECT_EQ(first.log[0], L"mkdir " + first.path(L"download"));
    EXPECT_EQ(first.log[1], lock);

    UpdaterRig rig;  // beside a running updater the folder exists and its lock is held
    rig.files.folders.insert(rig.path(L"download"));
    rig.app.claim = InstanceClaim::AnotherRunning;
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.Load(); }), updater::kExitAnotherInstance);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, L"Ombrix Update 正在运行中......");
    EXPECT_EQ(rig.boxes.shown[0].title, std::nullopt);  // bears the application's title
    EXPECT_EQ(rig.boxes.shown[0].style, kMbOk);
    EXPECT_TRUE(rig.inet.requests.empty());
    EXPECT_EQ(rig.log, (fakes::Log{lock, L"box Ombrix Update 正在运行中......", L"exit 2"}));

    UpdaterRig denied;  // a folder nobody here may write to: nothing could be saved
    denied.app.claim = InstanceClaim::Failed;
    EXPECT_EQ(denied.exitCodeOf([&] { denied.form1.Load(); }), updater::kExitFailed);
    ASSERT_EQ(denied.boxes.shown.size(), 1u);
    EXPECT_EQ(denied.boxes.shown[0].text, L"无法保存下载文件，请检查磁盘空间和写入权限！");
    EXPECT_TRUE(denied.inet.requests.empty());
}

TEST(UpdaterStartTest, UnusableFileNamesStopBeforeAnyRequest) {
    for (const std::wstring url : {L"http://host/soft/", L"http://host/get?file=ombrix",
                                   L"http://host/con", L"http://host/a:b", L"http://host/name."}) {
        UpdaterRig rig;
        rig.form1Window.texts[form1::Text1] = url;
        EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.Load(); }), updater::kExitFailed) << url;
        ASSERT_EQ(rig.boxes.shown.size(), 1u) << url;
        EXPECT_EQ(rig.boxes.shown[0].text, L"升级地址无效，无法保存下载文件！");
        EXPECT_EQ(rig.boxes.shown[0].title, L"提示：");
        EXPECT_EQ(rig.boxes.shown[0].style, kMbInformation);
        EXPECT_TRUE(rig.inet.requests.empty()) << url;
        EXPECT_TRUE(rig.files.files.empty()) << url;
    }
}

TEST(UpdaterStartTest, UrlWithoutSlashNamesTheFileAfterTheWholeUrl) {
    UpdaterRig rig;
    rig.form1Window.texts[form1::Text1] = L"ombrix";
    rig.exitCodeOf([&] { rig.form1.Load(); });
    EXPECT_EQ(rig.form1Window.texts[form1::Text2], rig.path(L"ombrix"));
}

TEST(UpdaterStatesTest, EachStateShowsItsTextAndOthersChangeNothing) {
    UpdaterRig rig;
    rig.exitCodeOf([&] { rig.form1.Load(); });
    const std::vector<std::wstring> expected = {L"正在连接服务器",
                                                L"成功连接到服务器",
                                                L"正在与服务器连接",
                                                L"已与服务器连接成功",
                                                L"正在向服务器发送请求",
                                                L"发送请求已成功",
                                                L"正在下载所需文件，请耐心等待 ......",
                                                L"正在下载所需文件，请耐心等待 ......",
                                                L"正在解除与服务器的连接",
                                                L"文件下载完成..."};
    for (int state = 1; state <= 10; ++state) {
        rig.form1.onTransferState(static_cast<TransferState>(state));
        EXPECT_EQ(rig.status(), expected[state - 1]) << state;
    }
    for (int state : {0, 13, -1, 255}) {
        rig.form1.onTransferState(static_cast<TransferState>(state));
        EXPECT_EQ(rig.status(), L"文件下载完成...") << state;
    }
}

TEST(UpdaterStatesTest, ErrorStateShowsTextThenMessageThenEnds) {
    UpdaterRig rig;
    rig.exitCodeOf([&] { rig.form1.Load(); });
    rig.boxes.whileOpen = [&] { EXPECT_EQ(rig.status(), L"与主机通讯时出现了错误"); };
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.onTransferState(TransferState::Error); }),
              updater::kExitFailed);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, L"暂时无法连接服务器，请稍后再试！");
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[0].style, 64);
}

// Passes of the chunk loop for bodies of exactly the announced length.
class ChunkLoopTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ChunkLoopTest, ExactLengthWritesWholeChunksAndFillsTheBar) {
    const std::size_t length = GetParam();
    UpdaterRig rig;
    const auto body = ExecutableBytes(length);
    const std::size_t passes = (length + 1023) / 1024;
    // Once the file is whole the window answers again, showing so, before the checks run.
    std::wstring statusAtLastPump;
    rig.app.duringPump[static_cast<int>(passes) + 2].push_back(
        [&] { statusAtLastPump = rig.status(); });
    rig.download(body);
    EXPECT_EQ(rig.files.writes, static_cast<int>(passes));
    EXPECT_EQ(rig.inet.reads, static_cast<int>(passes) + 1);  // the empty remainder too
    EXPECT_EQ(rig.app.pumps, static_cast<int>(passes) + 2);   // after the first read and each
    EXPECT_EQ(statusAtLastPump, L"文件已经下载完成！");
    EXPECT_EQ(rig.progress.updates, static_cast<int>(passes));
    EXPECT_EQ(rig.progress.max, static_cast<std::int32_t>(length));
    EXPECT_EQ(rig.progress.val, static_cast<std::int32_t>(length));
    if (length >= 0x84) {
        EXPECT_EQ(rig.files.files[rig.path(L"ombrix")], body);
        EXPECT_EQ(rig.status(), L"文件已经下载完成！");
        EXPECT_NE(rig.form2Window, nullptr);
    }
    EXPECT_EQ(rig.files.openFiles, 0);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ChunkLoopTest, ::testing::Values(0, 1, 1024, 1500, 4096, 70001));

TEST(UpdaterDownloadTest, TinyBodiesAreNotProgramsAndAreRemoved) {
    for (std::size_t length : {0u, 1u}) {
        UpdaterRig rig;
        EXPECT_EQ(rig.download(fakes::Bytes(length, 'x')), updater::kExitFailed);
        ASSERT_FALSE(rig.boxes.shown.empty());
        EXPECT_EQ(rig.boxes.shown.back().text, L"下载的文件不是有效的程序文件，升级未完成！");
        EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix")));
        EXPECT_EQ(rig.form2Window, nullptr);
    }
}

TEST(UpdaterDownloadTest, StatusKeepsItsTextUntilTheBodyIsComplete) {
    UpdaterRig rig;
    rig.app.duringPump[2] = {
        [&] { EXPECT_EQ(rig.status(), L"正在下载所需文件，请耐心等待 ......"); }};
    rig.download(ExecutableBytes(3000));
    EXPECT_EQ(rig.status(), L"文件已经下载完成！");
}

TEST(UpdaterDownloadTest, StateArrivingDuringThePumpsIsHandledAndTheLoopGoesOn) {
    UpdaterRig rig;
    rig.app.duringPump[2] = {[&] { rig.form1.onTransferState(TransferState::Disconnecting); }};
    rig.app.duringPump[3] = {[&] {
        EXPECT_EQ(rig.status(), L"正在解除与服务器的连接");
        rig.form1.onTransferState(
            TransferState::ResponseCompleted);  // a repeated report starts nothing
    }};
    const auto body = ExecutableBytes(5000);
    EXPECT_EQ(rig.download(body), -1);
    EXPECT_EQ(rig.files.files[rig.path(L"ombrix")], body);
    EXPECT_EQ(rig.files.writes, 5);
}

TEST(UpdaterDownloadTest, LateStatesLeaveTheCompleteTextAndTheRunAlone) {
    UpdaterRig rig;
    // The pump that shows "文件已经下载完成！", before the checks: the transfer's last reports.
    rig.app.duringPump[4] = {[&] {
        ASSERT_EQ(rig.status(), L"文件已经下载完成！");
        rig.form1.onTransferState(TransferState::Disconnected);
        rig.form1.onTransferState(TransferState::Error);
    }};
    EXPECT_EQ(rig.download(ExecutableBytes(2000)), -1);
    EXPECT_EQ(rig.status(), L"文件已经下载完成！");
    EXPECT_TRUE(rig.boxes.shown.empty());
}

TEST(UpdaterDownloadTest, ExistingFileIsReplacedByAPrivateOne) {
    UpdaterRig rig;
    rig.files.files[rig.path(L"ombrix")] = fakes::Bytes(10000, 0xEE);
    const auto body = ExecutableBytes(2000);
    rig.download(body);
    EXPECT_EQ(rig.files.files[rig.path(L"ombrix")], body);
    // Nobody else can open it, so nobody can keep the checks from holding it.
    EXPECT_EQ(rig.files.privateFiles.count(rig.path(L"ombrix")), 1u);
}

TEST(UpdaterDownloadTest, ErrorStatusWritesNothing) {
    UpdaterRig rig;
    rig.inet.status = 404;
    EXPECT_EQ(rig.download(ExecutableBytes(2000)), updater::kExitFailed);
    ASSERT_FALSE(rig.boxes.shown.empty());
    EXPECT_EQ(rig.boxes.shown.back().text, L"服务器返回错误（HTTP 404），请稍后再试！");
    EXPECT_EQ(rig.boxes.shown.back().title, L"提示：");
    EXPECT_TRUE(rig.files.files.empty());
    EXPECT_EQ(rig.files.writes, 0);
}

TEST(UpdaterDownloadTest, ShortLongAndBrokenBodiesAreIncompleteAndRemoved) {
    struct Case {
        const char* name;
        std::size_t sent;
        std::wstring announced;
        bool breaks;
    };
    for (const Case& c :
         {Case{"short", 1500, L"2000", false}, Case{"long", 2500, L"2000", false},
          Case{"reset", 1500, L"2000", true}, Case{"reset, no length", 1500, L"", true}}) {
        UpdaterRig rig;
        rig.inet.breaksOff = c.breaks;
        EXPECT_EQ(rig.download(ExecutableBytes(c.sent),
                               c.announced.empty() ? std::nullopt : std::optional(c.announced)),
                  updater::kExitFailed)
            << c.name;
        ASSERT_FALSE(rig.boxes.shown.empty()) << c.name;
        EXPECT_EQ(rig.boxes.shown.back().text, L"文件下载不完整，请稍后再试！") << c.name;
        EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix"))) << c.name;
        EXPECT_EQ(rig.form2Window, nullptr) << c.name;
        EXPECT_TRUE(rig.inet.cancelled) << c.name;
    }
}

TEST(UpdaterDownloadTest, UnknownLengthDownloadsEverythingWithAMovingBar) {
    UpdaterRig rig;
    bool movingMeanwhile = false;
    rig.app.duringPump[3] = {[&] { movingMeanwhile = rig.progress.indeterminate; }};
    const auto body = ExecutableBytes(5000);
    EXPECT_EQ(rig.download(body, std::nullopt), -1);
    EXPECT_TRUE(movingMeanwhile);
    EXPECT_FALSE(rig.progress.indeterminate);
    EXPECT_EQ(rig.progress.max, 5000);
    EXPECT_EQ(rig.progress.val, 5000);
    EXPECT_EQ(rig.files.files[rig.path(L"ombrix")], body);
}

TEST(UpdaterDownloadTest, UnwritableOrFullDiskIsReportedAndLeavesNoPartial) {
    UpdaterRig rig;
    rig.files.unwritable.insert(rig.path(L"ombrix"));
    EXPECT_EQ(rig.download(ExecutableBytes(2000)), updater::kExitFailed);
    ASSERT_FALSE(rig.boxes.shown.empty());
    EXPECT_EQ(rig.boxes.shown.back().text, L"无法保存下载文件，请检查磁盘空间和写入权限！");

    UpdaterRig full;
    full.files.diskFullAfter = 3000;
    EXPECT_EQ(full.download(ExecutableBytes(8000)), updater::kExitFailed);
    ASSERT_FALSE(full.boxes.shown.empty());
    EXPECT_EQ(full.boxes.shown.back().text, L"无法保存下载文件，请检查磁盘空间和写入权限！");
    EXPECT_FALSE(full.files.fileExists(full.path(L"ombrix")));
    EXPECT_TRUE(full.inet.cancelled);
}

TEST(UpdaterDownloadTest, PageThatIsNotAProgramIsRemovedAndNothingIsHandedOver) {
    UpdaterRig rig;
    const std::string page = "<html><body>Welcome</body></html>";
    EXPECT_EQ(rig.download(fakes::Bytes(page.begin(), page.end())), updater::kExitFailed);
    ASSERT_FALSE(rig.boxes.shown.empty());
    EXPECT_EQ(rig.boxes.shown.back().text, L"下载的文件不是有效的程序文件，升级未完成！");
    EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix")));
    EXPECT_EQ(rig.form2Window, nullptr);
}

TEST(UpdaterCancelTest, CancelDuringTheLoopStopsDeletesAndEndsWith3) {
    UpdaterRig rig;
    rig.app.duringPump[3] = {[&] { rig.form1.onClick(form1::Command2); }};
    EXPECT_EQ(rig.download(ExecutableBytes(10000)), updater::kExitCancelled);
    EXPECT_TRUE(rig.inet.cancelled);
    EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix")));
    EXPECT_FALSE(rig.form1Window.open);
    EXPECT_EQ(rig.files.openFiles, 0);
    for (const auto& entry : rig.log) {
        EXPECT_NE(entry.rfind(L"setText on closed", 0), 0u);
    }
}

TEST(UpdaterCancelTest, CancelBeforeTheResponseEndsWith3) {
    UpdaterRig rig;
    rig.exitCodeOf([&] { rig.form1.Load(); });
    rig.form1.onTransferState(TransferState::Connecting);
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.onClick(form1::Command2); }), updater::kExitCancelled);
    EXPECT_TRUE(rig.inet.cancelled);
    EXPECT_TRUE(rig.files.files.empty());
}

TEST(UpdaterCancelTest, ConfirmedCloseDuringTheLoopRemovesThePartial) {
    UpdaterRig rig;
    rig.boxes.answers = {kAnswerYes};
    rig.app.duringPump[2] = {[&] { rig.form1.onClick(form1::close1); }};
    EXPECT_EQ(rig.download(ExecutableBytes(10000)), updater::kExitCancelled);
    EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix")));
}

TEST(UpdaterCancelTest, DeclinedCloseLetsTheDownloadComplete) {
    UpdaterRig rig;
    rig.boxes.answers = {7};
    rig.app.duringPump[2] = {[&] { rig.form1.onClick(form1::close1); }};
    const auto body = ExecutableBytes(10000);
    EXPECT_EQ(rig.download(body), -1);
    EXPECT_EQ(rig.files.files[rig.path(L"ombrix")], body);
    EXPECT_NE(rig.form2Window, nullptr);
}

TEST(UpdaterHelpersTest, ProgressScaling) {
    using updater::ProgressScale;
    const ProgressScale fits(2147483647);
    EXPECT_EQ(fits.maximum(), 2147483647);
    EXPECT_EQ(fits.position(2147483647), 2147483647);
    const ProgressScale large(3221225472LL);  // 3 GiB: the position keeps the fraction
    EXPECT_EQ(large.position(3221225472LL), large.maximum());
    EXPECT_NEAR(static_cast<double>(large.position(1610612736LL)) / large.maximum(), 0.5, 1e-6);
}

TEST(UpdaterHelpersTest, FileNamesFromUrls) {
    using updater::FileNameFromUrl;
    using updater::IsUsableFileName;
    EXPECT_EQ(FileNameFromUrl(L"http://h/soft/updates/ombrix/ombrix"), L"ombrix");
    EXPECT_EQ(FileNameFromUrl(L"http://h/a/"), L"");
    EXPECT_EQ(FileNameFromUrl(L"http://h/get?x=1"), L"get?x=1");
    EXPECT_TRUE(IsUsableFileName(L"ombrix"));
    EXPECT_TRUE(IsUsableFileName(L"新版 ombrix.bin"));
    EXPECT_TRUE(IsUsableFileName(L"console"));
    for (const std::wstring bad : {L"", L"a?b", L"a*b", L"a<b", L"a|b", L"a\"b", L"NUL",
                                   L"com1.txt", L"LPT9", L"x ", L"x.", L"a\tb"}) {
        EXPECT_FALSE(IsUsableFileName(bad)) << bad.size();
    }
}

}  // namespace
}  // namespace ombrix

namespace ombrix {
namespace {

TEST(ExecutableCheckTest, HeadersAloneDoNotMakeAProgram) {
    fakes::Log log;
    fakes::FakeFiles files(log);
    const auto whole = fakes::ExecutableBytes(5000);
    files.files[L"p"] = whole;
    EXPECT_TRUE(updater::IsWindowsExecutable(files, L"p"));

    // Cut short where a lying Content-Length would end it: valid headers, missing section data.
    files.files[L"p"] = fakes::Bytes(whole.begin(), whole.begin() + 2048);
    EXPECT_FALSE(updater::IsWindowsExecutable(files, L"p"));

    // Data appended after the last section is still the same program.
    auto longer = whole;
    longer.resize(9000, 0);
    files.files[L"p"] = longer;
    EXPECT_TRUE(updater::IsWindowsExecutable(files, L"p"));

    auto noPe = whole;
    noPe[0x81] = 'X';
    files.files[L"p"] = noPe;
    EXPECT_FALSE(updater::IsWindowsExecutable(files, L"p"));
}

TEST(UpdaterDownloadTest, ProgramCutToTheAnnouncedLengthIsNotInstalled) {
    fakes::UpdaterRig rig;
    const auto whole = fakes::ExecutableBytes(5000);
    EXPECT_EQ(rig.download(fakes::Bytes(whole.begin(), whole.begin() + 2048)),
              updater::kExitFailed);
    ASSERT_FALSE(rig.boxes.shown.empty());
    EXPECT_EQ(rig.boxes.shown.back().text, L"下载的文件不是有效的程序文件，升级未完成！");
    EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix")));
    EXPECT_EQ(rig.form2Window, nullptr);
}

}  // namespace
}  // namespace ombrix
