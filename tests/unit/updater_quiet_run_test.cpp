#include <gtest/gtest.h>

#include <string>

#include "fakes/updater_rig.h"
#include "platform/http_response.h"
#include "updater/ValidatorRecord.h"

namespace ombrix {
namespace {

using fakes::Bytes;
using fakes::ExecutableBytes;
using fakes::FakeHashing;
using fakes::UpdaterRig;
using ombrix::ParseHttpDate;
using updater::FormatValidatorRecord;
using updater::ParseValidatorRecord;
using updater::ValidatorRecord;
using updater::Validators;

constexpr wchar_t kTag[] = L"\"5f3a-9a0f7\"";
constexpr wchar_t kDate[] = L"Tue, 02 Jan 2024 10:00:00 GMT";
constexpr char kHash[] = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string Good(const std::string& tail) {
    return std::string("ombrix-validator 1\nsha256 ") + kHash + "\n" + tail;
}

TEST(ValidatorRecordTest, ReadsExactlyWhatItWrites) {
    Sha256Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        digest[i] = static_cast<std::uint8_t>(i);
    }
    for (const Validators& v :
         {Validators{kTag, kDate}, Validators{L"\"strong\"", L""}, Validators{L"", kDate}}) {
        const Bytes bytes = FormatValidatorRecord({digest, v});
        const auto parsed = ParseValidatorRecord(bytes);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->product, digest);
        EXPECT_EQ(parsed->validators.etag, v.etag);
        EXPECT_EQ(parsed->validators.lastModified, v.lastModified);
    }
    EXPECT_EQ(FormatValidatorRecord({digest, {kTag, kDate}}),
              Text(Good("etag \"5f3a-9a0f7\"\nlast-modified Tue, 02 Jan 2024 10:00:00 GMT\n")));
}

TEST(ValidatorRecordTest, AnythingElseIsNoRecord) {
    const std::string tag = "etag \"x\"\n";
    const std::string cases[] = {
        "",
        Good(""),            // neither validator
        Good("etag \"x\""),  // no final line end
        Good("etag \"x\"\r\n"),
        Good("etag \n"),
        Good("etag  \"x\"\n"),
        Good("etag \"x\" \n"),
        Good("etag \"x\ty\"\n"),
        Good("etag \"\x80x\"\n"),
        Good(std::string("etag \"x\0y\"\n", 11)),
        Good("etag x\n"),  // only strong tags: nothing that matches other bodies too
        Good("etag W/\"x\"\n"),
        Good("etag *\n"),
        Good("etag \"a\", \"b\"\n"),
        Good("etag \"a\"b\"\n"),
        Good("last-modified Tue, 02 Jan 2024 10:00:00 GMT\n" + tag),  // out of order
        Good(tag + tag),
        Good(tag + "last-modified Tue, 02 Jan 2024 10:00:00 GMT\n\n"),
        Good(tag + "size 3\n"),
        Good("ETag \"x\"\n"),
        Good("etag \"" + std::string(255, 'x') + "\"\n"),
        Good("last-modified yesterday\n"),
        Good("last-modified Wed, 02 Jan 2024 10:00:00 GMT\n"),  // not that day's weekday
        Good("last-modified Tue, 02 Jan 2024 10:00:00 UTC\n"),
        Good("last-modified Tue, 2 Jan 2024 10:00:00 GMT\n"),
        "ombrix-validator 2\nsha256 " + std::string(kHash) + "\n" + tag,
        "ombrix-validator 1\n" + tag,
        "ombrix-validator 1\nsha256 " + std::string(kHash).substr(2) + "\n" + tag,
        "ombrix-validator 1\nsha256 " + std::string(kHash) + "00\n" + tag,
        "ombrix-validator 1\nsha256 0A" + std::string(kHash).substr(2) + "\n" + tag,
        "ombrix-validator 1\nsha256 0g" + std::string(kHash).substr(2) + "\n" + tag,
        " ombrix-validator 1\nsha256 " + std::string(kHash) + "\n" + tag,
    };
    for (const std::string& c : cases) {
        EXPECT_FALSE(ParseValidatorRecord(Text(c))) << c;
    }
    // Longest values, both: still within the size limit, which refuses anything beyond.
    const std::string longest = Good("etag \"" + std::string(254, 'x') +
                                     "\"\nlast-modified Tue, 02 Jan 2024 10:00:00 GMT\n");
    EXPECT_TRUE(ParseValidatorRecord(Text(longest)));
    EXPECT_FALSE(ParseValidatorRecord(Bytes(updater::kMaxRecordBytes + 1, 'x')));
}

// Untrusted bytes: every cut and every changed byte of a record is read without fault (the
// sanitizers watch), and whatever is accepted has exactly one spelling, the written one.
TEST(ValidatorRecordTest, DamagedRecordsAreReadSafelyAndStrictly) {
    const Bytes good = Text(Good("etag \"a\"\nlast-modified Tue, 02 Jan 2024 10:00:00 GMT\n"));
    const auto canonical = [](const Bytes& bytes) {
        const auto parsed = ParseValidatorRecord(bytes);
        return !parsed || FormatValidatorRecord(*parsed) == bytes;
    };
    for (std::size_t cut = 0; cut <= good.size(); ++cut) {
        EXPECT_TRUE(canonical(Bytes(good.begin(), good.begin() + static_cast<long>(cut))));
    }
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (const int value : {0x00, 0x0A, 0x0D, 0x20, 0x61, 0x46, 0x22, 0x7F, 0x80, 0xFF}) {
            Bytes changed = good;
            changed[at] = static_cast<std::uint8_t>(value);
            EXPECT_TRUE(canonical(changed)) << at << " " << value;
        }
    }
}

TEST(ValidatorRecordTest, OnlyValidatorsOfOneBodyAreKeptAndAsked) {
    EXPECT_EQ(
        updater::ConditionalRequestHeaders({kTag, kDate}),
        std::wstring(L"If-None-Match: ") + kTag + L"\r\nIf-Modified-Since: " + kDate + L"\r\n");
    EXPECT_EQ(updater::ConditionalRequestHeaders({L"", kDate}),
              std::wstring(L"If-Modified-Since: ") + kDate + L"\r\n");
    const std::int64_t now = 1749974400;  // 2025-06-15 08:00:00 GMT
    const auto kept = [&](const Validators& sent, const std::wstring& date = L"") {
        const auto v = updater::RecordableValidators(sent, date, now);
        return v ? v->etag + L"|" + v->lastModified : L"none";
    };
    const std::wstring tag = kTag;
    EXPECT_EQ(kept({kTag, kDate}), tag + L"|" + kDate);
    // A weak tag, "*" or a list matches other bodies; a header could be broken out of.
    for (const wchar_t* etag :
         {L"W/\"a\"", L"*", L"\"a\", \"b\"", L"\"a\"\r\nX-Injected: 1", L"\"caf\u00e9\"", L"a"}) {
        EXPECT_EQ(kept({etag, kDate}), std::wstring(L"|") + kDate) << etag;
        EXPECT_EQ(kept({etag, L""}), L"none") << etag;
    }
    // A date later than the response's own, or than the clock where the response has none.
    const wchar_t* later = L"Sun, 15 Jun 2025 08:00:01 GMT";
    EXPECT_EQ(kept({kTag, later}), tag + L"|");
    EXPECT_EQ(kept({kTag, L"Sun, 15 Jun 2025 08:00:00 GMT"}),
              tag + L"|Sun, 15 Jun 2025 08:00:00 GMT");
    EXPECT_EQ(kept({kTag, later}, L"Sun, 15 Jun 2025 09:00:00 GMT"), tag + L"|" + later);
    EXPECT_EQ(kept({kTag, kDate}, L"Mon, 01 Jan 2024 00:00:00 GMT"), tag + L"|");
    EXPECT_EQ(kept({L"", L"Fri, 31 Dec 9999 23:59:59 GMT"}), L"none");
    EXPECT_EQ(kept({L"", L"Tuesday, 02-Jan-24 10:00:00 GMT"}), L"none");
    // A record written before dates were checked asks with its tag alone.
    EXPECT_EQ(updater::UsableValidators({kTag, later}, now)->lastModified, L"");
    EXPECT_FALSE(updater::UsableValidators({L"", later}, now));
}

TEST(HttpDateTest, ReadsThePreferredFormOnly) {
    EXPECT_EQ(ParseHttpDate(L"Thu, 01 Jan 1970 00:00:00 GMT"), 0);
    EXPECT_EQ(ParseHttpDate(L"Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(ParseHttpDate(L"Tue, 29 Feb 2000 23:59:60 GMT"), 951868800);
    for (const wchar_t* bad :
         {L"", L"Sunday, 06-Nov-94 08:49:37 GMT", L"Sun Nov  6 08:49:37 1994",
          L"Sun, 06 Nov 1994 08:49:37 UTC", L"Mon, 06 Nov 1994 08:49:37 GMT",
          L"Thu, 29 Feb 2001 00:00:00 GMT", L"Sun, 06 Nov 1994 24:00:00 GMT",
          L"Sun, 06 nov 1994 08:49:37 GMT", L"Sun, 06 Nov 1994 08:49:37 GMT ",
          L"Wed, 31 Dec 1969 23:59:59 GMT", L"Sun, 06 Nov 1994 08:4a:37 GMT"}) {
        EXPECT_FALSE(ParseHttpDate(bad)) << bad;
    }
}

// A folder with the installed product and, where a test puts one, its record.
struct QuietRig : UpdaterRig {
    Bytes installed = ExecutableBytes(3000, 0x11);
    Bytes offered = ExecutableBytes(5000, 0x22);
    std::wstring record = path(L"download\\ombrix.validator");

    QuietRig() {
        files.folders.insert(path(L"download"));
        files.files[path(L"Ombrix.exe")] = installed;
    }
    Bytes recordOf(const Bytes& product, const Validators& v) {
        return FormatValidatorRecord({FakeHashing::DigestOf(product), v});
    }
    int run(int status, const Bytes& body, std::map<std::wstring, std::wstring> headers) {
        inet.status = status;
        inet.headers = std::move(headers);
        return download(body, std::to_wstring(body.size()));
    }
    int installRun(std::map<std::wstring, std::wstring> headers) {
        boxes.answers = {7};  // no relaunch
        const int handedOver = run(200, offered, std::move(headers));
        return handedOver == -1 ? tick() : handedOver;
    }
};

TEST(QuietRunTest, ASoundRecordOfTheInstalledBytesAsksAndA304EndsTheRunUntouched) {
    QuietRig rig;
    const Bytes record = rig.recordOf(rig.installed, {kTag, kDate});
    rig.files.files[rig.record] = record;
    rig.processes.procs.push_back({7, L"Ombrix.exe", rig.path(L"Ombrix.exe")});
    EXPECT_EQ(rig.run(304, {}, {}), updater::kExitAlreadyNewest);
    EXPECT_EQ(rig.inet.executeHeaders, std::wstring(L"If-None-Match: ") + kTag +
                                           L"\r\nIf-Modified-Since: " + kDate + L"\r\n");
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, L"当前已是最新版本，无需升级！");
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[0].style, kMbInformation);
    // The transfer states came as usual; nothing written, closed or terminated.
    EXPECT_EQ(rig.status(), L"正在下载所需文件，请耐心等待 ......");
    for (const std::wstring& entry : rig.log) {
        EXPECT_EQ(entry.rfind(L"create ", 0), std::wstring::npos) << entry;
    }
    EXPECT_EQ(rig.files.files[rig.record], record);
    EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], rig.installed);
    EXPECT_TRUE(rig.processes.isRunning(7));
    EXPECT_EQ(rig.form2Window, nullptr);
}

TEST(QuietRunTest, WithoutASoundRecordOfTheseBytesTheRequestIsOrdinary) {
    QuietRig probe;
    const Bytes other = probe.recordOf(ExecutableBytes(3000, 0x12), {kTag, kDate});
    const Bytes sound = probe.recordOf(probe.installed, {kTag, kDate});
    Bytes damaged = sound;
    damaged[25] = 'X';
    const struct {
        const char* name;
        std::optional<Bytes> record;
        bool productReadable;
    } cases[] = {{"no record", std::nullopt, true},
                 {"another product's", other, true},
                 {"damaged", damaged, true},
                 {"product unreadable", sound, false}};
    for (const auto& c : cases) {
        QuietRig rig;
        if (c.record) {
            rig.files.files[rig.record] = *c.record;
        }
        if (!c.productReadable) {
            rig.hashing.unreadable.insert(rig.path(L"Ombrix.exe"));
        }
        // A 304 to an ordinary request proves nothing: the server is wrong.
        EXPECT_EQ(rig.run(304, {}, {}), updater::kExitFailed) << c.name;
        EXPECT_EQ(rig.inet.executeHeaders, L"") << c.name;
        EXPECT_EQ(rig.boxes.shown.at(0).text, L"服务器返回错误（HTTP 304），请稍后再试！")
            << c.name;
    }
}

TEST(QuietRunTest, AProductInPlaceIsRecordedWithTheValidatorsItCameWith) {
    QuietRig rig;
    rig.files.files[rig.record] = rig.recordOf(rig.installed, {L"\"old\"", L""});
    EXPECT_EQ(rig.installRun({{L"ETag", kTag}, {L"Last-Modified", kDate}}),
              updater::kExitInstalled);
    EXPECT_EQ(rig.inet.executeHeaders, L"If-None-Match: \"old\"\r\n");
    EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], rig.offered);
    EXPECT_EQ(rig.files.files[rig.record], rig.recordOf(rig.offered, {kTag, kDate}));
    EXPECT_FALSE(rig.files.fileExists(rig.record + L".new"));

    // The same bytes again, under a new tag only: the newest, recorded as such.
    QuietRig same;
    EXPECT_EQ(same.run(200, same.installed, {{L"ETag", kTag}}), updater::kExitAlreadyNewest);
    EXPECT_EQ(same.files.files[same.record], same.recordOf(same.installed, {kTag, L""}));
}

TEST(QuietRunTest, NoValidatorsNoRecordAndAFailedRunKeepsTheOldOne) {
    QuietRig rig;
    rig.files.files[rig.record] = rig.recordOf(rig.installed, {kTag, L""});
    EXPECT_EQ(rig.installRun({}), updater::kExitInstalled);
    EXPECT_FALSE(rig.files.fileExists(rig.record));

    QuietRig refused;  // an older version: the run fails and the product stays as it was
    const auto versioned = [](std::uint64_t version) {
        fakes::PeOptions o;
        o.version = version;
        return fakes::PeBytes(4000, 0x33, o);
    };
    refused.files.files[refused.path(L"Ombrix.exe")] = versioned(fakes::Version(2, 0));
    const Bytes record = refused.recordOf(versioned(fakes::Version(2, 0)), {L"\"old\"", L""});
    refused.files.files[refused.record] = record;
    EXPECT_EQ(refused.run(200, versioned(fakes::Version(1, 0)), {{L"ETag", kTag}}),
              updater::kExitFailed);
    EXPECT_EQ(refused.files.files[refused.record], record);
}

}  // namespace
}  // namespace ombrix
