#include "updater/RecordText.h"

namespace ombrix::updater {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

std::optional<std::string_view> RecordLines::next() {
    const std::size_t end = text_.find('\n');
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view line = text_.substr(0, end);
    text_.remove_prefix(end + 1);
    return line;
}

std::optional<std::string_view> RecordLines::field(std::string_view key) {
    if (!startsWith(key)) {
        return std::nullopt;
    }
    const auto line = next();
    if (!line) {
        return std::nullopt;
    }
    return line->substr(key.size());
}

std::optional<Sha256Digest> ParseDigestHex(std::string_view hex) {
    Sha256Digest digest{};
    if (hex.size() != digest.size() * 2) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(hex[2 * i]);
        const int low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        digest[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return digest;
}

std::string DigestHex(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

}  // namespace ombrix::updater
