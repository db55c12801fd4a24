#pragma once
// Authenticode signatures of executables.
#include <string>

namespace ombrix {

struct Signature {
    enum class Status {
        Valid,     // signed, and the signature verifies
        Unsigned,  // carries no signature
        // signed, but the file was changed, the signature does not verify, or its signer is
        // known to be revoked
        Invalid,
        Unreadable,  // the file cannot be opened or read
    };
    Status status = Status::Unsigned;
    // Who signed: the signer certificate's subject; for a chain to a root the machine does not
    // trust, followed by that root's key hash. Empty when it cannot be read; an invalid
    // signature names its signer too where it still can.
    std::wstring signerSubject;
};

class Signatures {
  public:
    virtual ~Signatures() = default;
    // Checks the file's embedded signature without any user interface or network access: a
    // revocation counts where the system already has it cached.
    virtual Signature check(const std::wstring& path) = 0;
};

}  // namespace ombrix
