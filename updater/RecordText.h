#pragma once
// What the updater's small text files share (the validator record, the rollback record, the
// release statement): ASCII lines each ended by one LF, and SHA-256 digests as 64 lower-case hex
// digits, one spelling only. Every such file is untrusted input.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hashing.h"

namespace ombrix::updater {

// A text's lines, read one at a time; every line must end in LF.
class RecordLines {
  public:
    explicit RecordLines(std::string_view text) : text_(text) {}
    explicit RecordLines(const std::vector<std::uint8_t>& bytes)
        : text_(reinterpret_cast<const char*>(bytes.data()), bytes.size()) {}
    bool atEnd() const { return text_.empty(); }
    // How much of `whole`, which this reads, has been read.
    std::size_t consumed(std::string_view whole) const { return whole.size() - text_.size(); }
    // The next line without its LF; nothing when no LF is left.
    std::optional<std::string_view> next();
    std::optional<std::string_view> peek() const { return RecordLines(*this).next(); }
    bool startsWith(std::string_view key) const { return text_.substr(0, key.size()) == key; }
    // The rest of the next line after `key`, when the line starts with it; the line is taken.
    std::optional<std::string_view> field(std::string_view key);

  private:
    std::string_view text_;
};

// 64 lower-case hex digits; nothing for any other text (upper case too).
std::optional<Sha256Digest> ParseDigestHex(std::string_view hex);
// The digest as 64 lower-case hex digits.
std::string DigestHex(const Sha256Digest& digest);

}  // namespace ombrix::updater
