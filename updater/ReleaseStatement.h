#pragma once
// The vendor's signed statement of the newest release, `<update URL>.release`: which product, which
// version, how long, which bytes (and, for deltas, which bytes each applies to). It is the only
// thing a build with release keys believes about what is newest: validators, dates and versions
// that nobody signed decide nothing. The statement is read whole before any byte of the program is
// requested, and the program is checked against it before any of its bytes is parsed.
//
// Format: ASCII, every line ended by one LF, these lines in this order, nothing else:
//   ombrix-release 1
//   product <the product's file base name, letter case aside>
//   version <four decimal numbers of at most 65535, "2.0.0.0">
//   size <decimal, 1 to the build's download ceiling>
//   sha256 <64 lower-case hex digits of the SHA-256 of the whole program file>
//   delta <64 hex of the installed file it applies to> <decimal size> <64 hex of the delta>
//                                                               (zero or more lines)
//   signature <base64 of the DER ECDSA P-256 signature>
// The signature is over the SHA-256 of every byte before the `signature` line. Numbers are written
// one way only (no leading zeros), so that a statement has exactly one spelling.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ecdsa.h"
#include "platform/file_system.h"
#include "platform/transfer.h"

namespace ombrix::updater {

inline constexpr std::size_t kMaxStatementBytes = 4096;

struct StatedDelta {
    Sha256Digest from{};  // the installed bytes it applies to
    std::uint64_t size = 0;
    Sha256Digest sha256{};  // of the delta itself
};

struct ReleaseStatement {
    std::string product;
    std::uint64_t version = 0;  // major, minor, build, revision: 16 bits each, major first
    std::uint64_t size = 0;
    Sha256Digest sha256{};
    std::vector<StatedDelta> deltas;
    // How many of the statement's bytes the signature covers, and the signature as r||s.
    std::size_t signedBytes = 0;
    EcdsaSignature signature{};
};

// The statement's form, exactly as above, with a size of at most `maxSize`; nothing for anything
// else. Says nothing about its signature.
std::optional<ReleaseStatement> ParseReleaseStatement(const std::vector<std::uint8_t>& bytes,
                                                      std::uint64_t maxSize);

// True when `signature` is a signature of `digest` that verifies under any of `keys`.
bool SignedByAny(Ecdsa& ecdsa, const std::vector<EcdsaKey>& keys, const Sha256Digest& digest,
                 const EcdsaSignature& signature);

// The statement that stands: well formed, signed under one of `keys`, and for `product` (letter
// case aside). Nothing otherwise.
std::optional<ReleaseStatement> ReadReleaseStatement(const std::vector<std::uint8_t>& bytes,
                                                     Ecdsa& ecdsa,
                                                     const std::vector<EcdsaKey>& keys,
                                                     const std::wstring& product,
                                                     std::uint64_t maxSize);

// What a statement that stands means for the product in place (its digest and version record,
// where they could be read).
enum class StatementVerdict {
    AlreadyNewest,  // the stated bytes are installed
    NotNewer,       // a replay or a rollback: the stated version is not above the installed one
    Download,
};
StatementVerdict JudgeStatement(const ReleaseStatement& statement,
                                const std::optional<Sha256Digest>& installed,
                                const std::optional<std::uint64_t>& installedVersion);

// The delta that turns the product in place into the stated release: the first line that names
// the installed bytes, smaller than the release, for a product and a release both within
// `maxDeltaBytes` (larger ones are always updated in full). Nothing otherwise.
std::optional<StatedDelta> DeltaFor(const ReleaseStatement& statement,
                                    const std::optional<Sha256Digest>& installed,
                                    std::optional<std::uint64_t> installedSize,
                                    std::uint64_t maxDeltaBytes);

// A small body read whole from the transfer's latest response: nothing when it is longer than
// `maxBytes` (reading stops at the first byte beyond) or broke off.
std::optional<std::vector<std::uint8_t>> ReadSmallBody(Transfer& inet, std::size_t maxBytes);

// The SHA-256 of `size` bytes at `data`; nothing when the system cannot hash.
std::optional<Sha256Digest> Sha256Of(Ecdsa& ecdsa, const std::uint8_t* data, std::size_t size);

// The SHA-256 of every byte `file` holds, read through the hold; nothing when its length cannot
// be told or any read comes back short.
std::optional<Sha256Digest> HashHeldFile(Ecdsa& ecdsa, HeldFile& file);

}  // namespace ombrix::updater
