#pragma once
// ECDSA P-256 and SHA-256 through Windows' CNG (bcrypt.dll, loaded at first use from the system
// folder). Every call fails closed: a missing library or function verifies nothing.
#include <windows.h>

#include <memory>

#include "platform/ecdsa.h"

namespace ombrix {

class CngEcdsa : public Ecdsa {
  public:
    std::unique_ptr<Sha256> startSha256() override;
    bool verify(const EcdsaKey& key, const Sha256Digest& digest,
                const EcdsaSignature& signature) override;
};

}  // namespace ombrix
