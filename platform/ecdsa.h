#pragma once
// ECDSA signatures on the NIST P-256 curve over SHA-256 digests, and the SHA-256 hash itself:
// what a release signature is checked with.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace ombrix {

// A public key as its uncompressed point without the leading 0x04: X then Y, 32 bytes each.
using EcdsaKey = std::array<std::uint8_t, 64>;
// A signature as the two integers r then s, 32 bytes each, big-endian.
using EcdsaSignature = std::array<std::uint8_t, 64>;
using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
  public:
    virtual ~Sha256() = default;
    virtual bool add(const std::uint8_t* data, std::size_t size) = 0;
    // The digest of everything added; nothing when the hash failed.
    virtual std::optional<Sha256Digest> finish() = 0;
};

class Ecdsa {
  public:
    virtual ~Ecdsa() = default;
    // A new hash, or null when the system cannot make one.
    virtual std::unique_ptr<Sha256> startSha256() = 0;
    // True only when `signature` is a valid P-256 signature of `digest` under `key`.
    virtual bool verify(const EcdsaKey& key, const Sha256Digest& digest,
                        const EcdsaSignature& signature) = 0;
};

}  // namespace ombrix
