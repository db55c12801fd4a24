#pragma once
// Authenticode signatures of executables.
#include <string>

namespace ombrix {

struct Signature {
    enum class Status {
        Valid,     // signed, and the signature verifies
        Unsigned,  // carries no signature
        Invalid,   // signed, but the file was changed or the signature does not verify
    };
    Status status = Status::Unsigned;
    // Who signed, when the signature is valid: the signer certificate's subject; for a chain to a
    // root the machine does not trust, followed by that root's key hash.
    std::wstring signerSubject;
};

class Signatures {
  public:
    virtual ~Signatures() = default;
    // Checks the file's embedded signature without any user interface or network access.
    virtual Signature check(const std::wstring& path) = 0;
};

}  // namespace ombrix
