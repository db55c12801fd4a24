#include <gtest/gtest.h>

#include "checks_rig.h"
#include "fakes/fake_ecdsa.h"
#include "fakes/updater_rig.h"
#include "updater/DerSignature.h"
#include "updater/ReleaseSignature.h"

namespace ombrix {
namespace {

using fakes::Bytes;
using fakes::ChecksRig;
using fakes::DerOf;
using fakes::ExecutableBytes;
using fakes::FakeEcdsa;
using fakes::FakeTransfer;
using fakes::UpdaterRig;

Bytes FromHex(const char* hex) {
    Bytes bytes;
    for (const char* p = hex; p[0] && p[1]; p += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    }
    return bytes;
}

EcdsaSignature RawFromHex(const char* hex) {
    EcdsaSignature raw{};
    const Bytes bytes = FromHex(hex);
    std::copy(bytes.begin(), bytes.end(), raw.begin());
    return raw;
}

// Two signatures as `openssl dgst -sha256 -sign` wrote them: an r of 31 bytes, and an r whose
// top bit needs the sign byte.
TEST(SignatureFromDerTest, TakesOpensslsEncodings) {
    EXPECT_EQ(updater::SignatureFromDer(FromHex(
                  "3043021f58816059d5c446aeaecee03c56b93ac89f43f9256fb5c13cdee6e2dc1aa8df0220"
                  "0d3531ff7b814a5f119be12f2ac09ae358ff814f9e1f1b2b6a38c9814220c6c2")),
              RawFromHex("0058816059d5c446aeaecee03c56b93ac89f43f9256fb5c13cdee6e2dc1aa8df"
                         "0d3531ff7b814a5f119be12f2ac09ae358ff814f9e1f1b2b6a38c9814220c6c2"));
    EXPECT_EQ(updater::SignatureFromDer(FromHex(
                  "30450221008e80729c11c2700cf921c2de290f8ad1c03c1b57b4f9e3dbbfa489fe8886e21f"
                  "02204e6bd56fb32d9bbabf71f818e0d0cfaa29ff663f757dac68fdb005b0bf079680")),
              RawFromHex("8e80729c11c2700cf921c2de290f8ad1c03c1b57b4f9e3dbbfa489fe8886e21f"
                         "4e6bd56fb32d9bbabf71f818e0d0cfaa29ff663f757dac68fdb005b0bf079680"));
}

TEST(SignatureFromDerTest, RefusesAnyOtherEncoding) {
    const std::string n(64, '1');  // a 32-byte integer
    const std::string good = "30440220" + n + "0220" + n;
    ASSERT_TRUE(updater::SignatureFromDer(FromHex(good.c_str())));
    const std::vector<std::string> bad = {
        "",
        "3000",
        "2d2d2d2d2d424547494e",                     // junk: "-----BEGIN"
        good + "00",                                // a byte after it
        good.substr(0, good.size() - 2),            // cut short
        "3081440220" + n + "0220" + n,              // a long length form
        "30440320" + n + "0220" + n,                // not an integer
        "3044022081" + n.substr(2) + "0220" + n,    // negative
        "304502210011" + n.substr(2) + "0220" + n,  // a sign byte no sign needs
        "304602220000" + n + "0220" + n,            // 34 bytes
        "3045022101" + n + "0220" + n,              // 33 bytes of value
        "30250201000220" + n,                       // r = 0
        "30220220" + n,                             // no s
        "31440220" + n + "0220" + n,                // a set, not a sequence
    };
    for (const std::string& hex : bad) {
        EXPECT_FALSE(updater::SignatureFromDer(FromHex(hex.c_str()))) << hex;
    }
}

EcdsaKey Key(std::uint8_t fill) {
    EcdsaKey key{};
    key.fill(fill);
    return key;
}

const EcdsaKey kCurrentKey = Key(0xC1);
const EcdsaKey kBackupKey = Key(0xB2);
const EcdsaKey kOtherKey = Key(0x07);

constexpr wchar_t kBadSignature[] = L"下载的文件签名无效，升级未完成！";

// A run of the checks whose updater has the current and the backup key built in; the signature's
// answer is the one resume the transfer gives.
struct SignedRig : ChecksRig {
    FakeEcdsa ecdsa;
    const Bytes release = ExecutableBytes(3000, 0x22);

    SignedRig() {
        services.releaseKeys = {kCurrentKey, kBackupKey};
        services.ecdsa = &ecdsa;
    }
    void answerSignature(int status, Bytes body,
                         std::optional<std::wstring> length = std::wstring()) {
        FakeTransfer::Answer answer;
        answer.status = status;
        if (length) {
            answer.headers[L"Content-Length"] =
                length->empty() ? std::to_wstring(body.size()) : *length;
        }
        answer.body = std::move(body);
        inet.resumes.push_back(std::move(answer));
    }
    Bytes signedBy(const EcdsaKey& key, const Bytes& content) {
        return DerOf(ecdsa.sign(key, content));
    }

    void expectInstalling(int code) {
        EXPECT_EQ(code, -1);
        EXPECT_NE(form2Window, nullptr);
        ASSERT_EQ(inet.requests.size(), 2u);
        EXPECT_EQ(inet.requests[1], std::wstring(fakes::kRigUrl) + L".sig");
        EXPECT_EQ(inet.resumeHeaders[0], L"");
    }
};

TEST(ReleaseSignatureTest, SignedByABuiltInKeyIsInstalled) {
    for (const EcdsaKey& key : {kCurrentKey, kBackupKey}) {
        SignedRig rig;
        rig.answerSignature(200, rig.signedBy(key, rig.release));
        rig.expectInstalling(rig.run(rig.release));
    }
    // A signature without an announced length is read to its end.
    SignedRig rig;
    rig.answerSignature(200, rig.signedBy(kBackupKey, rig.release), std::nullopt);
    rig.expectInstalling(rig.run(rig.release));
}

TEST(ReleaseSignatureTest, AnythingElseIsRefusedBeforeAnythingIsClosed) {
    struct Case {
        const char* name;
        void (*serve)(SignedRig&);
    };
    const Case cases[] = {
        {"other key",
         [](SignedRig& r) { r.answerSignature(200, r.signedBy(kOtherKey, r.release)); }},
        {"other bytes",
         [](SignedRig& r) {
             r.answerSignature(200, r.signedBy(kCurrentKey, ExecutableBytes(3000, 0x23)));
         }},
        {"junk", [](SignedRig& r) { r.answerSignature(200, Bytes(70, 0x30)); }},
        {"empty", [](SignedRig& r) { r.answerSignature(200, {}); }},
        {"missing",
         [](SignedRig& r) { r.answerSignature(404, r.signedBy(kCurrentKey, r.release)); }},
        {"no answer", [](SignedRig&) {}},
        {"oversized, announced",
         [](SignedRig& r) { r.answerSignature(200, Bytes(5000, 0x30), L"5000"); }},
        {"oversized, unannounced",
         [](SignedRig& r) { r.answerSignature(200, Bytes(5000, 0x30), std::nullopt); }},
        {"broke off",
         [](SignedRig& r) {
             r.answerSignature(200, r.signedBy(kCurrentKey, r.release), L"500");
             r.inet.resumes.back().breaksOff = true;
         }},
        {"the publisher pin fails",
         [](SignedRig& r) {
             r.signatures.byPath[r.path(L"Ombrix.exe")] = {Signature::Status::Valid, L"CN=A"};
             r.answerSignature(200, r.signedBy(kCurrentKey, r.release));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SignedRig rig;
        c.serve(rig);
        rig.expectRefused(rig.run(rig.release), updater::kExitFailed, kBadSignature);
        // Of the signature's answer, never more than a signature's worth is read.
        if (rig.inet.requests.size() == 2) {
            EXPECT_LE(rig.inet.delivered, updater::kMaxSignatureBytes + 1);
        }
    }
}

TEST(ReleaseSignatureTest, BuildWithoutKeysAsksForNoSignature) {
    UpdaterRig rig;
    EXPECT_EQ(rig.download(ExecutableBytes(3000, 0x22)), -1);
    EXPECT_NE(rig.form2Window, nullptr);
    EXPECT_EQ(rig.inet.requests.size(), 1u);
}

}  // namespace
}  // namespace ombrix
