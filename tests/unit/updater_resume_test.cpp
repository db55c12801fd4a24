#include <gtest/gtest.h>

#include "fakes/updater_rig.h"
#include "updater/Resume.h"
#include "updater/Texts.h"

namespace ombrix {
namespace {

using fakes::Bytes;
using fakes::ExecutableBytes;
using fakes::UpdaterRig;
using updater::BodyIdentity;
using updater::DecideResume;
using updater::ResumeRequestHeaders;
using updater::ResumeResponse;
using updater::ResumeStep;

constexpr wchar_t kTag[] = L"\"v2-1500\"";
constexpr wchar_t kDate[] = L"Tue, 02 Jan 2024 10:00:00 GMT";

TEST(ResumeDecisionTest, TheValidatorIsTheStrongTagElseTheDateElseNone) {
    EXPECT_EQ(ResumeRequestHeaders({1500, kTag, kDate}, 600),
              std::wstring(L"Range: bytes=600-\r\nIf-Range: ") + kTag + L"\r\n");
    EXPECT_EQ(ResumeRequestHeaders({1500, L"W/\"weak\"", kDate}, 600),
              std::wstring(L"Range: bytes=600-\r\nIf-Range: ") + kDate + L"\r\n");
    EXPECT_EQ(ResumeRequestHeaders({1500, L"W/\"weak\"", L""}, 600), L"");
    EXPECT_EQ(ResumeRequestHeaders({1500, kTag, L""}, 0), L"");
    EXPECT_EQ(ResumeRequestHeaders({std::nullopt, kTag, L""}, 600), L"");
    EXPECT_EQ(updater::ResumePauseMs(0), 1000u);
    EXPECT_EQ(updater::ResumePauseMs(3), 8000u);
}

TEST(ResumeDecisionTest, OnlyTheRestOfTheSameBodyIsAppended) {
    const BodyIdentity tagged{1500, kTag, kDate};
    const BodyIdentity dated{1500, L"", kDate};
    const BodyIdentity bare{1500, L"W/\"x\"", L""};
    struct Case {
        const char* name;
        BodyIdentity body;
        ResumeResponse response;
        ResumeStep expected;
    };
    const Case cases[] = {
        {"rest", tagged, {206, L"bytes 600-1499/1500", kTag, L""}, ResumeStep::Append},
        {"rest, total unknown", dated, {206, L"bytes 600-1499/*", L"", kDate}, ResumeStep::Append},
        {"range ignored or body changed", tagged, {200, L"", L"\"v3\"", L""}, ResumeStep::Restart},
        {"asked whole", bare, {200, L"", L"", L""}, ResumeStep::Restart},
        {"not from the file's end",
         tagged,
         {206, L"bytes 0-1499/1500", kTag, L""},
         ResumeStep::Incomplete},
        {"another length",
         tagged,
         {206, L"bytes 600-1999/2000", kTag, L""},
         ResumeStep::Incomplete},
        {"another tag",
         tagged,
         {206, L"bytes 600-1499/1500", L"\"v3\"", L""},
         ResumeStep::Incomplete},
        {"another date",
         dated,
         {206, L"bytes 600-1499/1500", L"", L"Wed, 03 Jan 2024"},
         ResumeStep::Incomplete},
        {"no range header", tagged, {206, L"", kTag, L""}, ResumeStep::Incomplete},
        {"range not asked", bare, {206, L"bytes 600-1499/1500", L"", L""}, ResumeStep::Incomplete},
        {"not satisfiable", tagged, {416, L"bytes */1500", L"", L""}, ResumeStep::Incomplete},
        {"server error", tagged, {503, L"", L"", L""}, ResumeStep::Incomplete},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideResume(c.body, 600, c.response), c.expected) << c.name;
    }
}

// The first response breaks off after `sent` bytes of `whole`.
void BreakFirst(UpdaterRig& rig, const Bytes& whole, std::size_t sent) {
    rig.inet.headers[L"ETag"] = kTag;
    rig.inet.breaksOff = true;
    rig.inet.body.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(sent));
}

fakes::FakeTransfer::Answer Rest(const Bytes& whole, std::size_t from, std::size_t to) {
    fakes::FakeTransfer::Answer rest;
    rest.headers = {{L"Content-Range", L"bytes " + std::to_wstring(from) + L"-" +
                                           std::to_wstring(whole.size() - 1) + L"/" +
                                           std::to_wstring(whole.size())},
                    {L"Content-Length", std::to_wstring(whole.size() - from)},
                    {L"ETag", kTag}};
    rest.body.assign(whole.begin() + static_cast<std::ptrdiff_t>(from),
                     whole.begin() + static_cast<std::ptrdiff_t>(to));
    rest.breaksOff = to < whole.size();
    return rest;
}

int RunBroken(UpdaterRig& rig, std::size_t length) {
    rig.inet.headers[L"Content-Length"] = std::to_wstring(length);
    return rig.exitCodeOf([&] {
        rig.form1.Load();
        for (int state = 1; state <= 8; ++state) {
            rig.form1.onTransferState(static_cast<TransferState>(state));
        }
        rig.form1.onTransferState(TransferState::ResponseCompleted);
    });
}

TEST(UpdaterResumeTest, BreaksAreResumedFromTheFileEndAfterGrowingPauses) {
    UpdaterRig rig;
    const Bytes whole = ExecutableBytes(5000);
    BreakFirst(rig, whole, 2048);
    rig.inet.resumes = {Rest(whole, 2048, 3072), Rest(whole, 3072, 5000)};
    std::vector<std::int32_t> barAtResume;
    rig.clock.onIdle = [&] { barAtResume.push_back(rig.progress.val); };
    EXPECT_EQ(RunBroken(rig, whole.size()), -1);
    EXPECT_EQ(rig.files.files[rig.path(L"ombrix")], whole);
    EXPECT_EQ(rig.inet.resumeHeaders,
              (std::vector<std::wstring>{
                  std::wstring(L"Range: bytes=2048-\r\nIf-Range: ") + kTag + L"\r\n",
                  std::wstring(L"Range: bytes=3072-\r\nIf-Range: ") + kTag + L"\r\n"}));
    EXPECT_EQ(rig.inet.requests.back(), fakes::kRigUrl);
    EXPECT_EQ(rig.clock.now, 1000u + 2000u);
    EXPECT_EQ(barAtResume, (std::vector<std::int32_t>{2048, 3072}));  // the bar stays put
    EXPECT_EQ(rig.progress.max, 5000);
    EXPECT_EQ(rig.progress.val, 5000);
    EXPECT_EQ(rig.status(), L"文件已经下载完成！");
    EXPECT_NE(rig.form2Window, nullptr);
    EXPECT_EQ(rig.files.openFiles, 0);
}

TEST(UpdaterResumeTest, AWholeBodyInsteadOfTheRestStartsTheFileAgain) {
    UpdaterRig rig;
    const Bytes old = ExecutableBytes(5000, 0x11);
    const Bytes changed = ExecutableBytes(6000, 0x22);
    BreakFirst(rig, old, 3000);
    fakes::FakeTransfer::Answer whole;
    whole.status = 200;
    whole.headers = {{L"Content-Length", L"6000"}, {L"ETag", L"\"v3\""}};
    whole.body = changed;
    rig.inet.resumes = {whole};
    EXPECT_EQ(RunBroken(rig, old.size()), -1);
    EXPECT_EQ(rig.files.files[rig.path(L"ombrix")], changed);          // nothing of the old body
    EXPECT_EQ(rig.files.privateFiles.count(rig.path(L"ombrix")), 1u);  // made private again
    EXPECT_EQ(rig.progress.max, 6000);
    EXPECT_EQ(rig.progress.val, 6000);
    EXPECT_NE(rig.form2Window, nullptr);
}

TEST(UpdaterResumeTest, FourFailedResumesOrARefusedRangeEndAsIncomplete) {
    struct Case {
        const char* name;
        std::deque<fakes::FakeTransfer::Answer> resumes;
        std::size_t expectedResumes;
        std::uint64_t pausedMs;
    };
    const Bytes whole = ExecutableBytes(5000);
    fakes::FakeTransfer::Answer refused;
    refused.status = 416;
    fakes::FakeTransfer::Answer stallsAgain = Rest(whole, 1000, 1000);
    std::vector<Case> cases = {{"no answers", {}, 4, 15000},
                               {"breaks every time",
                                {stallsAgain, Rest(whole, 1000, 1000), Rest(whole, 1000, 1000),
                                 Rest(whole, 1000, 1000), Rest(whole, 1000, 5000)},
                                4,
                                15000},
                               {"416", {refused}, 1, 1000}};
    for (Case& c : cases) {
        UpdaterRig rig;
        BreakFirst(rig, whole, 1000);
        rig.inet.resumes = c.resumes;
        EXPECT_EQ(RunBroken(rig, whole.size()), updater::kExitFailed) << c.name;
        EXPECT_EQ(rig.boxes.shown.back().text, L"文件下载不完整，请稍后再试！") << c.name;
        EXPECT_EQ(rig.inet.resumeHeaders.size(), c.expectedResumes) << c.name;
        EXPECT_EQ(rig.clock.now, c.pausedMs) << c.name;
        EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix"))) << c.name;
        EXPECT_EQ(rig.form2Window, nullptr) << c.name;
    }
}

TEST(UpdaterResumeTest, AProxyAskingForALoginIsNamed) {
    UpdaterRig rig;
    rig.inet.status = 407;
    EXPECT_EQ(rig.download(ExecutableBytes(2000)), updater::kExitFailed);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, L"代理服务器需要身份验证，无法连接升级服务器！");
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[0].style, 64);
    EXPECT_TRUE(rig.files.files.empty());
}

}  // namespace
}  // namespace ombrix
