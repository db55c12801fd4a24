#include <gtest/gtest.h>

#include <algorithm>

#include "checks_rig.h"
#include "fakes/fake_ecdsa.h"
#include "fakes/updater_rig.h"
#include "fakes/zstd_frames.h"
#include "updater/DerSignature.h"
#include "updater/RecordText.h"
#include "updater/ReleaseStatement.h"
#include "updater/VersionRecord.h"

namespace ombrix {
namespace {

using fakes::Bytes;
using fakes::ChecksRig;
using fakes::DerOf;
using fakes::ExecutableBytes;
using fakes::FakeEcdsa;
using fakes::FakeTransfer;
using fakes::PeBytes;
using fakes::PeOptions;
using fakes::UpdaterRig;
using updater::ParseReleaseStatement;
using updater::ReleaseStatement;

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
constexpr std::uint64_t kMax = 268435456;

std::string Hex(const Sha256Digest& digest) {
    return updater::DigestHex(digest);
}

std::string Base64(const Bytes& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t n = (bytes[i] << 16) | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                                (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[n & 63] : '=';
    }
    return out;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The signed lines of a statement of `program` (version 2.0.0.0 unless told).
std::string Lines(const Bytes& program, const std::string& version = "2.0.0.0",
                  const std::string& product = "ombrix") {
    return "ombrix-release 1\nproduct " + product + "\nversion " + version + "\nsize " +
           std::to_string(program.size()) + "\nsha256 " + Hex(FakeEcdsa::DigestOf(program)) + "\n";
}

std::string Signed(FakeEcdsa& ecdsa, const EcdsaKey& key, const std::string& lines) {
    return lines + "signature " + Base64(DerOf(ecdsa.sign(key, Text(lines)))) + "\n";
}

const std::string kHash(64, 'a');
const std::string kDelta = "delta " + std::string(64, 'b') + " 1234 " + std::string(64, 'c') + "\n";
// A signature line that parses (its halves are 32 bytes each, below 0x80).
EcdsaSignature Filled(std::uint8_t byte) {
    EcdsaSignature signature;
    signature.fill(byte);
    return signature;
}
const std::string kSignature = "signature " + Base64(DerOf(Filled(0x11))) + "\n";

std::string Form(const std::string& fields) {
    return "ombrix-release 1\n" + fields + kSignature;
}
const std::string kFields = "product ombrix\nversion 2.0.0.0\nsize 179200\nsha256 " + kHash + "\n";

TEST(ReleaseStatementTest, ReadsItsOneForm) {
    const auto statement = ParseReleaseStatement(Text(Form(kFields + kDelta + kDelta)), kMax);
    ASSERT_TRUE(statement);
    EXPECT_EQ(statement->product, "ombrix");
    EXPECT_EQ(statement->version, fakes::Version(2, 0));
    EXPECT_EQ(statement->size, 179200u);
    EXPECT_EQ(
        statement->sha256, Sha256Digest{} = [] {
            Sha256Digest d;
            d.fill(0xaa);
            return d;
        }());
    ASSERT_EQ(statement->deltas.size(), 2u);
    EXPECT_EQ(statement->deltas[0].size, 1234u);
    EXPECT_EQ(statement->deltas[1].from[31], 0xbb);
    EXPECT_EQ(statement->deltas[1].sha256[0], 0xcc);
    EXPECT_EQ(statement->signedBytes, Form(kFields + kDelta + kDelta).size() - kSignature.size());
    EXPECT_TRUE(ParseReleaseStatement(Text(Form(kFields)), kMax));
    EXPECT_TRUE(ParseReleaseStatement(
        Text(Form("product ombrix\nversion 65535.0.10.9\nsize 268435456\nsha256 " + kHash + "\n")),
        kMax));
}

TEST(ReleaseStatementTest, AnythingElseIsNoStatement) {
    const std::string hash = "sha256 " + kHash + "\n";
    const std::string cases[] = {
        "",
        Form(kFields).substr(1),
        "ombrix-release 2\n" + kFields + kSignature,
        Form("product \nversion 2.0.0.0\nsize 179200\n" + hash),
        Form("product om brix\nversion 2.0.0.0\nsize 179200\n" + hash),
        Form("product ombrix\nversion 2.0.0\nsize 179200\n" + hash),
        Form("product ombrix\nversion 2.0.0.0.0\nsize 179200\n" + hash),
        Form("product ombrix\nversion 2.0.0.65536\nsize 179200\n" + hash),
        Form("product ombrix\nversion 2.00.0.0\nsize 179200\n" + hash),
        Form("product ombrix\nversion 2.0.-0.0\nsize 179200\n" + hash),
        Form("product ombrix\nversion 2.0.0.0\nsize 0\n" + hash),
        Form("product ombrix\nversion 2.0.0.0\nsize 0179200\n" + hash),
        Form("product ombrix\nversion 2.0.0.0\nsize 268435457\n" + hash),
        Form("product ombrix\nversion 2.0.0.0\nsize +179200\n" + hash),
        Form("product ombrix\nversion 2.0.0.0\nsize 179200\nsha256 " + kHash.substr(2) + "\n"),
        Form("product ombrix\nversion 2.0.0.0\nsize 179200\nsha256 A" + kHash.substr(1) + "\n"),
        Form("version 2.0.0.0\nproduct ombrix\nsize 179200\n" + hash),  // order
        Form("product ombrix\nversion 2.0.0.0\nsize 179200\n"),         // a line missing
        Form(kFields + "size 179200\n"),                                // repeated
        Form(kFields + "channel beta\n"),                               // unknown
        Form(kFields + kDelta.substr(0, 70) + "\n"),                    // a delta cut short
        Form(kFields + "delta " + kHash + " 0 " + kHash + "\n"),
        Form(kFields) + "\n",                                             // after the signature
        Form(kFields).substr(0, Form(kFields).size() - 1),                // no last LF
        Form("product ombrix\r\nversion 2.0.0.0\nsize 179200\n" + hash),  // CR
        Form("product ombrix\nversion 2.0.0.0\nsize\t179200\n" + hash),
        Form("product ombr\x80x\nversion 2.0.0.0\nsize 179200\n" + hash),
        "ombrix-release 1\n" + kFields + "signature " + Base64(DerOf(Filled(0x11))),
        "ombrix-release 1\n" + kFields + "signature MEQCIBE=\n",  // not a signature
        "ombrix-release 1\n" + kFields + "signature MEQC*BE=\n",  // not base64
        "ombrix-release 1\n" + kFields + "signature MEQCIB==\n",  // bits left over
        "ombrix-release 1\n" + kFields + "signature MEQ\n",
        "ombrix-release 1\n" + kFields + "signature \n",
        "ombrix-release 1\n" + kFields + "signature " + Base64(Bytes(80, 0x30)) + "\n",
    };
    for (const std::string& c : cases) {
        EXPECT_FALSE(ParseReleaseStatement(Text(c), kMax)) << c;
    }
    // Too long, however well formed otherwise.
    std::string deltas;
    while ((Form(kFields) + deltas).size() <= updater::kMaxStatementBytes) {
        deltas += kDelta;
    }
    EXPECT_FALSE(ParseReleaseStatement(Text(Form(kFields + deltas)), kMax));
    deltas.resize(deltas.size() - kDelta.size());
    EXPECT_TRUE(ParseReleaseStatement(Text(Form(kFields + deltas)), kMax));
}

TEST(ReleaseStatementTest, OnlyTheseBytesSignedByABuiltInKeyForThisProductStand) {
    FakeEcdsa ecdsa;
    const std::vector<EcdsaKey> keys = {kCurrentKey, kBackupKey};
    const Bytes program = ExecutableBytes(3000, 0x22);
    const auto read = [&](const std::string& statement, const std::wstring& product = L"ombrix") {
        return updater::ReadReleaseStatement(Text(statement), ecdsa, keys, product, kMax)
            .has_value();
    };
    EXPECT_TRUE(read(Signed(ecdsa, kCurrentKey, Lines(program))));
    EXPECT_TRUE(read(Signed(ecdsa, kBackupKey, Lines(program, "2.0.0.0", "Ombrix"))));
    EXPECT_TRUE(read(Signed(ecdsa, kCurrentKey, Lines(program)), L"OMBRIX"));
    EXPECT_FALSE(read(Signed(ecdsa, kOtherKey, Lines(program))));
    EXPECT_FALSE(read(Signed(ecdsa, kCurrentKey, Lines(program, "2.0.0.0", "obrix"))));
    EXPECT_FALSE(read(Signed(ecdsa, kCurrentKey, Lines(program)), L"ombrix2"));
    // Another version under the signature of this one.
    std::string changed = Signed(ecdsa, kCurrentKey, Lines(program));
    changed.replace(changed.find("2.0.0.0"), 7, "3.0.0.0");
    EXPECT_FALSE(read(changed));
}

TEST(ReleaseStatementTest, WhatAStatementMeansForTheProductInPlace) {
    ReleaseStatement statement;
    statement.version = fakes::Version(2, 0);
    statement.sha256.fill(0x42);
    Sha256Digest other{};
    using updater::JudgeStatement;
    using updater::StatementVerdict;
    EXPECT_EQ(JudgeStatement(statement, statement.sha256, fakes::Version(1, 0)),
              StatementVerdict::AlreadyNewest);
    EXPECT_EQ(JudgeStatement(statement, other, fakes::Version(2, 0)), StatementVerdict::NotNewer);
    EXPECT_EQ(JudgeStatement(statement, other, fakes::Version(2, 1)), StatementVerdict::NotNewer);
    EXPECT_EQ(JudgeStatement(statement, other, fakes::Version(1, 9)), StatementVerdict::Download);
    EXPECT_EQ(JudgeStatement(statement, other, std::nullopt), StatementVerdict::Download);
    EXPECT_EQ(JudgeStatement(statement, std::nullopt, std::nullopt), StatementVerdict::Download);
}

TEST(ReleaseStatementTest, TheDeltaForTheInstalledBytesWithinTheBounds) {
    const auto digest = [](std::uint8_t fill) {
        Sha256Digest d;
        d.fill(fill);
        return d;
    };
    ReleaseStatement statement;
    statement.size = 1000;
    statement.deltas = {{digest(1), 900, digest(9)},
                        {digest(2), 1000, digest(8)},
                        {digest(2), 10, digest(7)},
                        {digest(2), 5, digest(6)}};
    const std::uint64_t max = 4000;
    using updater::DeltaFor;
    // The first that names these bytes and is smaller than the release.
    EXPECT_EQ(DeltaFor(statement, digest(2), 4000, max)->sha256, digest(7));
    EXPECT_EQ(DeltaFor(statement, digest(1), 10, max)->sha256, digest(9));
    EXPECT_FALSE(DeltaFor(statement, digest(3), 4000, max));
    EXPECT_FALSE(DeltaFor(statement, std::nullopt, 4000, max));
    EXPECT_FALSE(DeltaFor(statement, digest(2), std::nullopt, max));
    // A product or a release beyond the build's delta ceiling comes whole.
    EXPECT_FALSE(DeltaFor(statement, digest(2), 4001, max));
    statement.size = 4001;
    EXPECT_FALSE(DeltaFor(statement, digest(2), 4000, max));
}

// A file whose reads come back short from `shortFrom` on, as a failing disk's would.
class ShortReads : public HeldFile {
  public:
    explicit ShortReads(std::uint64_t shortFrom) : shortFrom_(shortFrom) {}
    std::optional<std::uint64_t> size() override { return 600 * 1024; }
    Bytes read(std::uint64_t offset, std::size_t size) override {
        return Bytes(offset >= shortFrom_ ? size / 2 : size, 0x5A);
    }

  private:
    std::uint64_t shortFrom_;
};

TEST(ReleaseStatementTest, AHashOfPartOfTheFileIsNoHash) {
    FakeEcdsa ecdsa;
    ShortReads whole(UINT64_MAX);
    ShortReads failing(300 * 1024);
    EXPECT_EQ(updater::HashHeldFile(ecdsa, whole), FakeEcdsa::DigestOf(Bytes(600 * 1024, 0x5A)));
    EXPECT_FALSE(updater::HashHeldFile(ecdsa, failing));
}

// A run of a build with the current and the backup key built in, against an installed product
// of version 1 that runs as process 7; the server holds `statement` and the program.
struct SignedRig : ChecksRig {
    FakeEcdsa ecdsa;
    const std::wstring statementUrl = std::wstring(fakes::kRigUrl) + L".release";
    Bytes release = Versioned(2, 0x22);

    static Bytes Versioned(std::uint16_t major, std::uint8_t fill) {
        PeOptions o;
        o.version = fakes::Version(major, 0);
        return PeBytes(3000, fill, o);
    }
    SignedRig() {
        services.releaseKeys = {kCurrentKey, kBackupKey};
        services.ecdsa = &ecdsa;
        installed = Versioned(1, 0x11);
    }
    void serveStatement(const std::string& text, int status = 200) {
        FakeTransfer::Answer answer;
        answer.status = status;
        answer.body = Text(text);
        answer.headers[L"Content-Length"] = std::to_wstring(text.size());
        inet.byUrl[statementUrl] = answer;
    }
    std::string statementOf(const Bytes& program, const std::string& version = "2.0.0.0") {
        return Signed(ecdsa, kCurrentKey, Lines(program, version));
    }
    int offer(const std::string& statement, const Bytes& body, std::optional<std::wstring> length) {
        serveStatement(statement);
        files.files[path(L"Ombrix.exe")] = installed;
        return download(body, std::move(length));
    }
    // Refused at the statement: nothing but it was asked for, nothing written or closed.
    void expectRefusedEarly(int code, int expectedCode, const wchar_t* text) {
        expectRefused(code, expectedCode, text);
        EXPECT_EQ(inet.requests, std::vector<std::wstring>{statementUrl});
        for (const std::wstring& entry : log) {
            EXPECT_EQ(entry.rfind(L"create", 0), std::wstring::npos) << entry;
        }
    }
};

TEST(ReleaseStatementRunTest, TheStatedProgramIsAskedForAfterItsStatementAndInstalled) {
    SignedRig rig;
    rig.serveStatement(rig.statementOf(rig.release));
    EXPECT_EQ(rig.run(rig.release), -1);
    EXPECT_NE(rig.form2Window, nullptr);
    EXPECT_EQ(rig.inet.requests,
              (std::vector<std::wstring>{rig.statementUrl, std::wstring(fakes::kRigUrl)}));
    EXPECT_EQ(rig.inet.executeHeaders, L"");  // no record, no conditions: the statement decides
}

TEST(ReleaseStatementRunTest, TheStatementAloneEndsARunWithNothingNew) {
    struct Case {
        const char* name;
        std::uint16_t statedMajor;
        bool installedStated;
        int code;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"the stated bytes are installed", 2, true, updater::kExitAlreadyNewest,
         L"当前已是最新版本，无需升级！"},
        {"a replay of the installed version", 1, false, updater::kExitFailed,
         L"服务器上的版本不高于已安装的版本，升级未完成！"},
        {"a rollback", 0, false, updater::kExitFailed,
         L"服务器上的版本不高于已安装的版本，升级未完成！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SignedRig rig;
        rig.installed = SignedRig::Versioned(c.installedStated ? 2 : 1, 0x11);
        const Bytes stated = c.installedStated ? rig.installed : rig.release;
        rig.serveStatement(rig.statementOf(stated, std::to_string(c.statedMajor) + ".0.0.0"));
        rig.expectRefusedEarly(rig.run(rig.release), c.code, c.text);
    }
}

TEST(ReleaseStatementRunTest, NoStatementThatStandsNoRequestForTheProgram) {
    const struct {
        const char* name;
        int status;
        bool answers;
        bool breaksOff;
    } cases[] = {{"missing", 404, true, false},
                 {"no answer", 200, false, false},
                 {"broke off", 200, true, true},
                 {"junk", 200, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SignedRig rig;
        rig.serveStatement(
            std::string(c.name) == "junk" ? "ombrix-release 1\n" : rig.statementOf(rig.release),
            c.status);
        rig.inet.byUrl[rig.statementUrl].answers = c.answers;
        rig.inet.byUrl[rig.statementUrl].breaksOff = c.breaksOff;
        rig.expectRefusedEarly(rig.run(rig.release), updater::kExitFailed, kBadSignature);
    }
    SignedRig rig;  // oversized: never read further than a statement's worth
    rig.serveStatement(std::string(20000, 'x'));
    rig.inet.byUrl[rig.statementUrl].headers.clear();
    rig.expectRefusedEarly(rig.run(rig.release), updater::kExitFailed, kBadSignature);
    EXPECT_LE(rig.inet.delivered, updater::kMaxStatementBytes + 1);
}

TEST(ReleaseStatementRunTest, AProgramThatIsNotTheStatedOneIsRefusedBeforeAnythingIsClosed) {
    const struct {
        const char* name;
        int (*offer)(SignedRig&);
    } cases[] = {
        {"another length announced",
         [](SignedRig& r) { return r.offer(r.statementOf(r.release), r.release, L"3001"); }},
        {"a longer body without a length",
         [](SignedRig& r) {
             Bytes longer = r.release;
             longer.push_back(0);
             return r.offer(r.statementOf(r.release), longer, std::nullopt);
         }},
        {"other bytes",
         [](SignedRig& r) {
             Bytes other = r.release;
             other[100] ^= 1;
             return r.offer(r.statementOf(r.release), other, L"3000");
         }},
        {"another version record",
         [](SignedRig& r) {
             return r.offer(r.statementOf(r.release, "2.0.0.1"), r.release, L"3000");
         }},
        {"the publisher pin fails",
         [](SignedRig& r) {
             r.signatures.byPath[r.path(L"Ombrix.exe")] = {Signature::Status::Valid, L"CN=A"};
             return r.offer(r.statementOf(r.release), r.release, L"3000");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SignedRig rig;
        rig.expectRefused(c.offer(rig), updater::kExitFailed, kBadSignature);
    }
    // Nothing of a program of another length is written.
    SignedRig rig;
    rig.offer(rig.statementOf(rig.release), rig.release, L"3001");
    EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(), L"create " + rig.path(L"ombrix")), 0);
}

TEST(ReleaseStatementRunTest, ABuildWithoutKeysAsksForNoStatement) {
    UpdaterRig rig;
    EXPECT_EQ(rig.download(ExecutableBytes(3000, 0x22)), -1);
    EXPECT_NE(rig.form2Window, nullptr);
    EXPECT_EQ(rig.inet.requests, std::vector<std::wstring>{std::wstring(fakes::kRigUrl)});
}

// A release whose statement names a delta from the installed bytes (made with zstd's
// compressor, as the vendor's tool makes it), served beside the program.
struct DeltaRig : SignedRig {
    Bytes frame;
    std::wstring deltaUrl;

    DeltaRig() {
        release[2000] ^= 0x5A;
        frame = fakes::Frame(installed, release);
        deltaUrl = std::wstring(fakes::kRigUrl) + L".delta/" + [](const std::string& hex) {
            return std::wstring(hex.begin(), hex.end());
        }(Hex(FakeEcdsa::DigestOf(installed)));
    }
    // The statement, naming `named` as the delta from the installed bytes.
    std::string statementNaming(const Bytes& named) {
        const std::string line = "delta " + Hex(FakeEcdsa::DigestOf(installed)) + " " +
                                 std::to_string(named.size()) + " " +
                                 Hex(FakeEcdsa::DigestOf(named)) + "\n";
        return Signed(ecdsa, kCurrentKey, Lines(release) + line);
    }
    void serveDelta(const Bytes& body, int status = 200) {
        FakeTransfer::Answer answer;
        answer.status = status;
        answer.body = body;
        answer.headers[L"Content-Length"] = std::to_wstring(body.size());
        inet.byUrl[deltaUrl] = answer;
    }
    int runWith(const Bytes& named) {
        serveStatement(statementNaming(named));
        return run(release);
    }
    void expectReleaseHandedOver(int code) {
        EXPECT_EQ(code, -1);
        EXPECT_NE(form2Window, nullptr);
        EXPECT_EQ(files.files[path(L"ombrix")], release);
        EXPECT_FALSE(files.fileExists(path(L"download\\ombrix.delta")));
    }
};

TEST(DeltaRunTest, ADeltaFromTheInstalledBytesBringsTheReleaseWithoutTheProgram) {
    DeltaRig rig;
    ASSERT_LT(rig.frame.size(), rig.release.size());
    rig.serveDelta(rig.frame);
    rig.expectReleaseHandedOver(rig.runWith(rig.frame));
    EXPECT_EQ(rig.inet.requests, (std::vector<std::wstring>{rig.statementUrl, rig.deltaUrl}));
    EXPECT_EQ(rig.progress.max, static_cast<std::int32_t>(rig.frame.size()));  // over the delta
}

TEST(DeltaRunTest, AnyFailureOfTheDeltaTakesTheWholeProgramOnceInTheSameRun) {
    const struct {
        const char* name;
        void (*serve)(DeltaRig&, Bytes& named);
    } cases[] = {
        {"missing", [](DeltaRig& r, Bytes&) { r.serveDelta(r.frame, 404); }},
        {"no answer",
         [](DeltaRig& r, Bytes&) {
             r.serveDelta(r.frame);
             r.inet.byUrl[r.deltaUrl].answers = false;
         }},
        {"broke off",
         [](DeltaRig& r, Bytes&) {
             r.serveDelta(r.frame);
             r.inet.byUrl[r.deltaUrl].body.resize(r.frame.size() / 2);
             r.inet.byUrl[r.deltaUrl].breaksOff = true;
         }},
        {"other bytes than stated",
         [](DeltaRig& r, Bytes&) {
             Bytes other = r.frame;
             other[other.size() / 2] ^= 1;
             r.serveDelta(other);
         }},
        {"a corrupt frame, as stated",
         [](DeltaRig& r, Bytes& named) {
             named[named.size() / 2] ^= 1;
             r.serveDelta(named);
         }},
        {"a frame of other bytes, as stated",
         [](DeltaRig& r, Bytes& named) {
             Bytes other = r.release;
             other[100] ^= 1;
             named = fakes::Frame(r.installed, other);
             r.serveDelta(named);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeltaRig rig;
        Bytes named = rig.frame;
        c.serve(rig, named);
        rig.expectReleaseHandedOver(rig.runWith(named));
        EXPECT_EQ(rig.inet.requests.back(), std::wstring(fakes::kRigUrl));
        EXPECT_EQ(std::count(rig.inet.requests.begin(), rig.inet.requests.end(),
                             std::wstring(fakes::kRigUrl)),
                  1);
    }
}

}  // namespace
}  // namespace ombrix
