#pragma once
// An ECDSA signature as `openssl dgst -sha256 -sign` writes it: the DER encoding of
// SEQUENCE { INTEGER r, INTEGER s }. Windows' verifier takes r and s side by side instead.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ecdsa.h"

namespace ombrix::updater {

// r then s, each left-padded to 32 bytes; nothing for anything but the one strict encoding of
// two positive integers of at most 32 bytes each (no extra bytes, no padding beyond the sign
// byte, no long length forms).
std::optional<EcdsaSignature> SignatureFromDer(const std::vector<std::uint8_t>& der);

}  // namespace ombrix::updater
