#pragma once
// Authenticode signatures through WinVerifyTrust: no user interface, no network access; the
// signer's chain is checked for revocation against what the system already has cached.
#include <string>

#include "platform/signatures.h"

namespace ombrix {

// The signer's identity is the signing certificate's full subject ("CN=..., O=..., C=...").
// When the chain ends in a root that the machine does not trust (a self-signed certificate, a
// private certificate authority), nobody vouches for that subject: anyone can make a
// certificate that claims it. The signature then still counts as valid, but the identity also
// names the SHA-256 hash of the root's public key, so that only signatures made under that same
// key share it.
class Win32Signatures : public Signatures {
  public:
    Signature check(const std::wstring& path) override;
};

}  // namespace ombrix
