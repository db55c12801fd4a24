#include <gtest/gtest.h>

#include "fakes/updater_rig.h"
#include "platform/revocation.h"

namespace ombrix {
namespace {

using fakes::ExecutableBytes;
using fakes::UpdaterRig;
using Status = Signature::Status;

const Signature kPublisherA{Status::Valid, L"CN=Tarnell Software, O=Tarnell"};
const Signature kPublisherB{Status::Valid, L"CN=Someone Else"};
const Signature kUnsigned{Status::Unsigned, L""};
const Signature kTampered{Status::Invalid, L""};
// Changed after signing, or expired without a timestamp: it still names its signer.
const Signature kBrokenByA{Status::Invalid, kPublisherA.signerSubject};
const Signature kUnreadable{Status::Unreadable, L""};
// Signed by A, as the system's cache knows the chain: revoked, or not known either way.
const Signature kRevokedA = WithRevocation(kPublisherA, kChainRevoked);
const Signature kUnknownA =
    WithRevocation(kPublisherA, kChainRevocationUnknown | kChainOfflineRevocation);

constexpr wchar_t kWrongPublisher[] = L"下载的文件签名无效，升级未完成！";
constexpr wchar_t kUnnamed[] = L"已安装程序的签名无效，升级未完成！";
constexpr wchar_t kUnreadableText[] = L"无法读取已安装的程序文件，升级未完成！";

struct PinCase {
    const char* name;
    std::optional<Signature> installed;  // nothing: no installed product
    Signature download;
    const wchar_t* refusal;  // null: accepted
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const PinCase& c, std::ostream* out) {
    *out << c.name;
}

class PublisherPinTest : public ::testing::TestWithParam<PinCase> {};

TEST_P(PublisherPinTest, DecidesBeforeAnythingIsTerminated) {
    const PinCase& c = GetParam();
    UpdaterRig rig;
    rig.processes.procs.push_back({7, L"Ombrix.exe", rig.path(L"Ombrix.exe")});
    const auto oldProduct = ExecutableBytes(2000, 0x11);
    if (c.installed) {
        rig.files.files[rig.path(L"Ombrix.exe")] = oldProduct;
        rig.signatures.byPath[rig.path(L"ombrix.exe")] = *c.installed;
    }
    rig.signatures.byPath[rig.path(L"ombrix")] = c.download;

    const int code = rig.download(ExecutableBytes(3000, 0x22));
    if (c.refusal == nullptr) {
        EXPECT_EQ(code, -1) << c.name;
        EXPECT_NE(rig.form2Window, nullptr) << c.name;
        EXPECT_FALSE(rig.processes.isRunning(7)) << c.name;
        return;
    }
    EXPECT_EQ(code, updater::kExitFailed) << c.name;
    ASSERT_EQ(rig.boxes.shown.size(), 1u) << c.name;
    EXPECT_EQ(rig.boxes.shown[0].text, c.refusal) << c.name;
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[0].style, kMbInformation);
    EXPECT_FALSE(rig.files.fileExists(rig.path(L"ombrix"))) << c.name;
    EXPECT_EQ(rig.files.files[rig.path(L"Ombrix.exe")], oldProduct) << c.name;
    EXPECT_TRUE(rig.processes.isRunning(7)) << c.name;
    EXPECT_EQ(rig.form2Window, nullptr) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PublisherPinTest,
    ::testing::Values(PinCase{"signed A -> A", kPublisherA, kPublisherA, nullptr},
                      PinCase{"signed A -> B", kPublisherA, kPublisherB, kWrongPublisher},
                      PinCase{"signed A -> unsigned", kPublisherA, kUnsigned, kWrongPublisher},
                      PinCase{"signed A -> tampered", kPublisherA, kTampered, kWrongPublisher},
                      PinCase{"signed A -> unreadable", kPublisherA, kUnreadable, kWrongPublisher},
                      PinCase{"signed A -> revoked A", kPublisherA, kRevokedA, kWrongPublisher},
                      PinCase{"signed A -> A, revocation unknown", kPublisherA, kUnknownA, nullptr},
                      PinCase{"revoked A -> A", kRevokedA, kPublisherA, nullptr},
                      PinCase{"unsigned -> unsigned", kUnsigned, kUnsigned, nullptr},
                      PinCase{"unsigned -> B", kUnsigned, kPublisherB, nullptr},
                      PinCase{"broken A -> A", kBrokenByA, kPublisherA, nullptr},
                      PinCase{"broken A -> unsigned", kBrokenByA, kUnsigned, kWrongPublisher},
                      PinCase{"broken A -> B", kBrokenByA, kPublisherB, kWrongPublisher},
                      PinCase{"broken, no signer -> unsigned", kTampered, kUnsigned, kUnnamed},
                      PinCase{"unreadable -> A", kUnreadable, kPublisherA, kUnreadableText},
                      PinCase{"absent -> unsigned", std::nullopt, kUnsigned, nullptr}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return name;
    });

TEST(HttpsTest, RejectedCertificateHasItsOwnMessageAndWritesNothing) {
    UpdaterRig rig;
    rig.exitCodeOf([&] { rig.form1.Load(); });
    rig.inet.certRejected = true;
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.onTransferState(TransferState::Error); }),
              updater::kExitFailed);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, L"无法验证升级服务器的证书，升级已取消！");
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示：");
    EXPECT_EQ(rig.boxes.shown[0].style, kMbInformation);
    EXPECT_TRUE(rig.files.files.empty());
}

}  // namespace
}  // namespace ombrix
