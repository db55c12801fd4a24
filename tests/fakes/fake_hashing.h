#pragma once
// Digests of the fake files: not SHA-256, but a stand-in that differs wherever the bytes do.
#include <set>
#include <string>

#include "fakes/fake_file_system.h"
#include "platform/hashing.h"

namespace ombrix::fakes {

class FakeHashing : public Hashing {
  public:
    explicit FakeHashing(FakeFiles& files) : files_(files) {}
    std::set<std::wstring, NoCaseLess> unreadable;
    int hashed = 0;

    std::optional<Sha256Digest> sha256OfFile(const std::wstring& path) override {
        ++hashed;
        if (!files_.fileExists(path) || unreadable.count(path)) {
            return std::nullopt;
        }
        return DigestOf(files_.files[path]);
    }

    // FNV-1a over the bytes, once per 8-byte lane with its own start.
    static Sha256Digest DigestOf(const Bytes& bytes) {
        Sha256Digest digest{};
        for (std::size_t lane = 0; lane < digest.size() / 8; ++lane) {
            std::uint64_t h = 14695981039346656037ull + lane;
            for (const std::uint8_t b : bytes) {
                h = (h ^ b) * 1099511628211ull;
            }
            for (std::size_t i = 0; i < 8; ++i) {
                digest[lane * 8 + i] = static_cast<std::uint8_t>(h >> (8 * i));
            }
        }
        return digest;
    }

  private:
    FakeFiles& files_;
};

}  // namespace ombrix::fakes
