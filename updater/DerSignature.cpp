#include "updater/DerSignature.h"

#include <algorithm>
#include <cstddef>

namespace ombrix::updater {
namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::size_t kHalf = 32;

// Reads one INTEGER at `at` into `out` (right-aligned), moving `at` past it.
bool ReadInteger(const std::vector<std::uint8_t>& der, std::size_t& at, std::uint8_t* out) {
    if (der.size() - at < 2 || der[at] != kInteger) {
        return false;
    }
    const std::size_t length = der[at + 1];
    at += 2;
    // Short lengths only: the longest integer here is 33 bytes.
    if (length == 0 || length > kHalf + 1 || der.size() - at < length) {
        return false;
    }
    const std::uint8_t* value = der.data() + at;
    at += length;
    if ((value[0] & 0x80) != 0) {
        return false;  // negative
    }
    std::size_t size = length;
    if (value[0] == 0 && size > 1) {
        if ((value[1] & 0x80) == 0) {
            return false;  // a zero byte that no sign needs
        }
        ++value;
        --size;
    }
    if (size > kHalf || std::all_of(value, value + size, [](std::uint8_t b) { return b == 0; })) {
        return false;
    }
    std::copy(value, value + size, out + (kHalf - size));
    return true;
}

}  // namespace

std::optional<EcdsaSignature> SignatureFromDer(const std::vector<std::uint8_t>& der) {
    if (der.size() < 2 || der[0] != kSequence || der[1] >= 0x80 || der.size() != 2u + der[1]) {
        return std::nullopt;
    }
    EcdsaSignature raw{};
    std::size_t at = 2;
    if (!ReadInteger(der, at, raw.data()) || !ReadInteger(der, at, raw.data() + kHalf) ||
        at != der.size()) {
        return std::nullopt;
    }
    return raw;
}

}  // namespace ombrix::updater
