#pragma once
// What the system's certificate cache knows of a signer's revocation, and what a signature is
// worth then.
#include <cstdint>

#include "platform/signatures.h"

namespace ombrix {

// Trust status bits of a certificate chain, as the system's chain engine reports them.
inline constexpr std::uint32_t kChainRevoked = 0x00000004;
inline constexpr std::uint32_t kChainRevocationUnknown = 0x00000040;
inline constexpr std::uint32_t kChainOfflineRevocation = 0x01000000;

// A valid signature whose chain holds a revoked certificate counts as broken; it still names its
// signer. Only a known revocation refuses: a status that could not be learned without the
// network (nothing cached, the list out of reach) leaves the signature as it was.
inline Signature WithRevocation(Signature signature, std::uint32_t chainStatus) {
    if (signature.status == Signature::Status::Valid && (chainStatus & kChainRevoked) != 0) {
        signature.status = Signature::Status::Invalid;
    }
    return signature;
}

}  // namespace ombrix
