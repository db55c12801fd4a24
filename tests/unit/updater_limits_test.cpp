// What a server cannot make the updater do: fill the disk, pass off a part or an ambiguous body
// as the whole.
#include <gtest/gtest.h>

#include "fakes/updater_rig.h"
#include "platform/http_response.h"

namespace ombrix {
namespace {

using fakes::ExecutableBytes;
using fakes::UpdaterRig;

constexpr wchar_t kTooLarge[] = L"下载的文件过大，升级未完成！";
constexpr wchar_t kCannotSave[] = L"无法保存下载文件，请检查磁盘空间和写入权限！";
constexpr wchar_t kIncomplete[] = L"文件下载不完整，请稍后再试！";
constexpr std::uint64_t kMiB = 1024 * 1024;

// The run failed with `text` as every failure does, before anything was closed, and left no
// download behind.
void ExpectRefused(UpdaterRig& rig, int exitCode, const std::wstring& text) {
    EXPECT_EQ(exitCode, updater::kExitFailed);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, text);
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[0].style, kMbInformation);
    EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix")));
    EXPECT_EQ(rig.form2Window, nullptr);
    EXPECT_TRUE(rig.inet.cancelled);
}

TEST(DownloadCeilingTest, AnnouncedAboveTheCeilingIsRefusedBeforeAnythingIsWritten) {
    UpdaterRig rig;
    EXPECT_EQ(rig.services.maxDownloadBytes, 256 * kMiB);  // the build's default
    const int code = rig.download(ExecutableBytes(2000), L"10000000000");
    ExpectRefused(rig, code, kTooLarge);
    EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(), L"create " + rig.path(L"ombrix")), 0);

    UpdaterRig exact;  // the ceiling itself is allowed
    exact.services.maxDownloadBytes = 2000;
    EXPECT_EQ(exact.download(ExecutableBytes(2000)), -1);
}

TEST(DownloadCeilingTest, BodyWithoutLengthIsStoppedWhereItPassesTheCeiling) {
    UpdaterRig rig;
    rig.services.maxDownloadBytes = 10 * 1024;
    const int code = rig.download(ExecutableBytes(20 * 1024), std::nullopt);
    ExpectRefused(rig, code, kTooLarge);
    EXPECT_EQ(rig.inet.delivered, 11u * 1024);  // the chunk that would pass it is not written

    UpdaterRig exact;
    exact.services.maxDownloadBytes = 10 * 1024;
    EXPECT_EQ(exact.download(ExecutableBytes(10 * 1024), std::nullopt), -1);
}

TEST(DownloadSpaceTest, AnnouncedLengthNeedsThreeTimesItsSizeAndAReserve) {
    const std::uint64_t length = 2 * kMiB;
    UpdaterRig short_of;
    short_of.files.capacity = 3 * length + kMiB - 1;
    const int code = short_of.download(ExecutableBytes(2000), std::to_wstring(length));
    ExpectRefused(short_of, code, kCannotSave);
    EXPECT_EQ(short_of.files.writes, 0);

    UpdaterRig enough;
    enough.files.capacity = 3 * 2000 + kMiB;
    EXPECT_EQ(enough.download(ExecutableBytes(2000)), -1);
}

TEST(DownloadSpaceTest, BodyWithoutLengthStopsBeforeTheReserveIsReached) {
    UpdaterRig rig;
    rig.files.capacity = 12 * kMiB;
    const int code = rig.download(ExecutableBytes(12 * kMiB), std::nullopt);
    ExpectRefused(rig, code, kCannotSave);
    // Each MiB goes on while the volume holds the body so far three times over and the reserve:
    // here up to 3 MiB of the 12.
    EXPECT_GT(rig.inet.delivered, 3 * kMiB);
    EXPECT_LE(rig.inet.delivered, 3 * kMiB + 1024);
}

TEST(FramingTest, UnusableLengthsAndPartsOfTheBodyAreNeverTakenForTheWhole) {
    for (const wchar_t* length :
         {L"179200, 179201", L"+2000", L"-5", L"2000x", L"12 34", L"2000,", L", 2000"}) {
        UpdaterRig rig;
        const int code = rig.download(ExecutableBytes(2000), std::wstring(length));
        ExpectRefused(rig, code, kIncomplete);
        EXPECT_EQ(rig.files.writes, 0) << length;
    }
    UpdaterRig repeated;  // the same length twice is still one length
    EXPECT_EQ(repeated.download(ExecutableBytes(2000), L"2000, 2000"), -1);

    UpdaterRig partial;  // a part answered to a request for the whole
    partial.inet.status = 206;
    partial.inet.headers[L"Content-Range"] = L"bytes 0-1999/2000";
    const int code = partial.download(ExecutableBytes(2000));
    ExpectRefused(partial, code, kIncomplete);
}

TEST(FramingTest, LengthFieldReading) {
    EXPECT_EQ(ReadContentLength(L"").usable, true);
    EXPECT_EQ(ReadContentLength(L"").length, std::nullopt);
    EXPECT_EQ(ReadContentLength(L"631031").length, 631031);
    EXPECT_EQ(ReadContentLength(L"7 ,7,\t7").length, 7);
    for (const wchar_t* bad :
         {L"631031, 631032", L",", L"1,,1", L"99999999999999999999", L"0x10"}) {
        EXPECT_FALSE(ReadContentLength(bad).usable) << bad;
    }
    // Repeated headers reach the logic joined, as HTTP reads them.
    EXPECT_EQ(FindResponseHeader(L"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX: y\r\n"
                                 L"content-length: 6\r\n\r\n",
                                 L"Content-Length"),
              L"5, 6");
}

}  // namespace
}  // namespace ombrix
