#pragma once
// Signatures as a table: a signature verifies only where a test made it with sign(). The hash
// is the fake files' stand-in, which differs wherever the bytes differ in the tests' files.
#include <memory>
#include <set>
#include <tuple>

#include "fakes/fake_basics.h"
#include "fakes/fake_hashing.h"
#include "platform/ecdsa.h"

namespace ombrix::fakes {

class FakeEcdsa : public Ecdsa {
  public:
    // The same stand-in as the fake file hashes, so that a digest made either way matches.
    static Sha256Digest DigestOf(const Bytes& bytes) { return FakeHashing::DigestOf(bytes); }

    // A signature of `content` under `key`, as r||s: each half starts below 0x80, so its DER
    // form is the plain 70-byte one.
    EcdsaSignature sign(const EcdsaKey& key, const Bytes& content) {
        EcdsaSignature signature{};
        const Sha256Digest digest = DigestOf(content);
        for (std::size_t i = 0; i < signature.size(); ++i) {
            signature[i] = static_cast<std::uint8_t>((digest[i % 32] ^ key[i] ^ i) & 0x7f);
        }
        signature[0] = signature[32] = 0x11;
        valid.insert({key, digest, signature});
        return signature;
    }

    std::unique_ptr<Sha256> startSha256() override { return std::make_unique<Hash>(); }
    bool verify(const EcdsaKey& key, const Sha256Digest& digest,
                const EcdsaSignature& signature) override {
        ++verifications;
        return valid.count({key, digest, signature}) != 0;
    }

    std::set<std::tuple<EcdsaKey, Sha256Digest, EcdsaSignature>> valid;
    int verifications = 0;

  private:
    class Hash : public Sha256 {
      public:
        bool add(const std::uint8_t* data, std::size_t size) override {
            bytes_.insert(bytes_.end(), data, data + size);
            return true;
        }
        std::optional<Sha256Digest> finish() override { return DigestOf(bytes_); }

      private:
        Bytes bytes_;
    };
};

// The DER form of a signature whose halves start below 0x80 (as sign() makes them).
inline Bytes DerOf(const EcdsaSignature& signature) {
    Bytes der{0x30, 0x44, 0x02, 0x20};
    der.insert(der.end(), signature.begin(), signature.begin() + 32);
    der.insert(der.end(), {0x02, 0x20});
    der.insert(der.end(), signature.begin() + 32, signature.end());
    return der;
}

}  // namespace ombrix::fakes
