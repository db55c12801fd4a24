#pragma once
// Digests of files.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace ombrix {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Hashing {
  public:
    virtual ~Hashing() = default;
    // The SHA-256 of the file's bytes; nothing when it cannot be read to its end (missing, or
    // another program is writing it).
    virtual std::optional<Sha256Digest> sha256OfFile(const std::wstring& path) = 0;
};

}  // namespace ombrix
