#include <gtest/gtest.h>

#include <functional>

#include "checks_rig.h"
#include "fakes/updater_rig.h"
#include "updater/DownloadChecks.h"
#include "updater/Executable.h"
#include "updater/VersionRecord.h"

namespace ombrix {
namespace {

using fakes::ChecksRig;
using fakes::PeBytes;
using fakes::PeOptions;
using fakes::UpdaterRig;
using fakes::Version;
using updater::ProgramCheck;

PeOptions Options(std::function<void(PeOptions&)> change) {
    PeOptions options;
    change(options);
    return options;
}

TEST(ProgramCheckTest, OnlyCompleteProgramsThisWindowsRuns) {
    const auto amd64 = [](PeOptions& o) {
        o.machine = kMachineAmd64;
        o.magic = 0x20B;
        o.characteristics = 0x22;
    };
    struct Case {
        const char* name;
        PeOptions options;
        std::set<std::uint16_t> runnable;
        ProgramCheck expected;
    };
    const std::set<std::uint16_t> x64{kMachineI386, kMachineAmd64};
    const std::set<std::uint16_t> x86{kMachineI386};
    const Case cases[] = {
        {"gui", {}, x86, ProgramCheck::Program},
        {"console", Options([](auto& o) { o.subsystem = 3; }), x86, ProgramCheck::Program},
        {"64-bit on x64", Options(amd64), x64, ProgramCheck::Program},
        {"64-bit on x86", Options(amd64), x86, ProgramCheck::NotAProgram},
        {"arm64 on x64", Options([&](auto& o) {
             amd64(o);
             o.machine = kMachineArm64;
         }),
         x64, ProgramCheck::NotAProgram},
        {"64-bit with a PE32 header", Options([&](auto& o) {
             amd64(o);
             o.magic = 0x10B;
         }),
         x64, ProgramCheck::NotAProgram},
        {"i386 with a PE32+ header", Options([](auto& o) { o.magic = 0x20B; }), x64,
         ProgramCheck::NotAProgram},
        {"dll", Options([](auto& o) { o.characteristics |= 0x2000; }), x64,
         ProgramCheck::NotAProgram},
        {"object file", Options([](auto& o) { o.characteristics = 0x100; }), x64,
         ProgramCheck::NotAProgram},
        {"efi application", Options([](auto& o) { o.subsystem = 10; }), x64,
         ProgramCheck::NotAProgram},
        {"signed", Options([](auto& o) { o.certificates = 600; }), x86, ProgramCheck::Program},
    };
    for (const Case& c : cases) {
        fakes::Log log;
        fakes::FakeFiles files(log);
        fakes::FakeMachines machines;
        machines.runnable = c.runnable;
        files.files[L"p"] = PeBytes(4000, 0x33, c.options);
        EXPECT_EQ(updater::CheckProgram(files, machines, L"p"), c.expected) << c.name;
    }
}

TEST(ProgramCheckTest, CutInsideTheCertificateTableIsIncomplete) {
    fakes::Log log;
    fakes::FakeFiles files(log);
    fakes::FakeMachines machines;
    const auto whole = PeBytes(4000, 0x33, Options([](auto& o) { o.certificates = 600; }));
    files.files[L"p"] = fakes::Bytes(whole.begin(), whole.end() - 1);
    EXPECT_EQ(updater::CheckProgram(files, machines, L"p"), ProgramCheck::Incomplete);
}

TEST(VersionRecordTest, ReadsTheFixedFileVersion) {
    fakes::Log log;
    fakes::FakeFiles files(log);
    files.files[L"v"] =
        PeBytes(4000, 0x33, Options([](auto& o) { o.version = Version(2, 5, 300, 7); }));
    files.files[L"none"] = PeBytes(4000, 0x33);
    EXPECT_EQ(updater::FileVersionOf(files, L"v"), Version(2, 5, 300, 7));
    EXPECT_EQ(updater::FileVersionOf(files, L"none"), std::nullopt);
}

TEST(DownloadChecksTest, RefusalsComeBeforeAnythingIsClosed) {
    const auto versioned = [](std::uint64_t v) { return Options([v](auto& o) { o.version = v; }); };
    struct Case {
        const char* name;
        std::function<void(ChecksRig&)> arrange;
        fakes::Bytes offered;
        int code;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"dll", [](auto&) {},
         PeBytes(5000, 0x22, Options([](auto& o) { o.characteristics |= 0x2000; })),
         updater::kExitFailed, L"下载的文件不是有效的程序文件，升级未完成！"},
        {"signature cut short", [](auto&) {},
         [] {
             auto b = PeBytes(5000, 0x22, Options([](auto& o) { o.certificates = 900; }));
             b.resize(4500);
             return b;
         }(),
         updater::kExitFailed, L"文件下载不完整，请稍后再试！"},
        {"identical", [](auto& r) { r.installed = PeBytes(5000, 0x22); }, PeBytes(5000, 0x22),
         updater::kExitAlreadyNewest, L"当前已是最新版本，无需升级！"},
        {"older", [&](auto& r) { r.installed = PeBytes(3000, 0x11, versioned(Version(2, 1))); },
         PeBytes(5000, 0x22, versioned(Version(2, 0, 9, 9))), updater::kExitFailed,
         L"下载的文件版本低于已安装的版本，升级未完成！"},
        {"installed held for ever", [](auto& r) { r.files.inUseFor[r.path(L"Ombrix.exe")] = -1; },
         PeBytes(5000, 0x22), updater::kExitFailed, L"无法读取已安装的程序文件，升级未完成！"},
        {"installed unreadable", [](auto& r) { r.files.unholdable.insert(r.path(L"Ombrix.exe")); },
         PeBytes(5000, 0x22), updater::kExitFailed, L"无法读取已安装的程序文件，升级未完成！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChecksRig rig;
        c.arrange(rig);
        rig.expectRefused(rig.run(c.offered), c.code, c.text);
        EXPECT_GE(rig.clock.now, rig.clock.idles > 0 ? 10000u : 0u);
        EXPECT_LE(rig.clock.now, 30000u);
    }
}

TEST(DownloadChecksTest, NewerEqualOrUnversionedGoOnAndStayHeldUntilCopied) {
    const auto versioned = [](std::optional<std::uint64_t> v) {
        return Options([v](auto& o) { o.version = v; });
    };
    struct Case {
        std::optional<std::uint64_t> installed, offered;
    };
    for (const Case& c :
         {Case{Version(1, 0), Version(1, 0, 0, 1)}, Case{Version(3, 0), Version(3, 0)},
          Case{std::nullopt, Version(1, 0)}, Case{Version(9, 0), std::nullopt}}) {
        ChecksRig rig;
        rig.installed = PeBytes(3000, 0x11, versioned(c.installed));
        const auto offered = PeBytes(5000, 0x22, versioned(c.offered));
        ASSERT_EQ(rig.run(offered), -1);
        EXPECT_EQ(rig.files.holds[rig.path(L"ombrix")], 1);
        EXPECT_EQ(rig.files.holds[rig.path(L"Ombrix.exe")], 0);
        rig.boxes.answers = {7};
        EXPECT_EQ(rig.tick(), updater::kExitInstalled);
        EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], offered);
        EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix")));
    }
}

TEST(DownloadChecksTest, InstalledProductHeldBrieflyIsWaitedForWhileTheWindowAnswers) {
    ChecksRig rig;
    rig.files.inUseFor[rig.path(L"Ombrix.exe")] = 8;
    rig.signatures.byPath[rig.path(L"Ombrix.exe")] = {Signature::Status::Valid, L"CN=A"};
    rig.expectRefused(rig.run(PeBytes(5000, 0x22)), updater::kExitFailed,
                      L"下载的文件签名无效，升级未完成！");
    EXPECT_EQ(rig.clock.idles, 8);
}

}  // namespace
}  // namespace ombrix
