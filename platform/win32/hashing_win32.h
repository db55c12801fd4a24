#pragma once
// SHA-256 of a file over the system's CNG provider (bcrypt.dll from the system folder, loaded at
// the first use: most runs never hash anything).
#include "platform/hashing.h"

namespace ombrix {

class Win32Hashing : public Hashing {
  public:
    std::optional<Sha256Digest> sha256OfFile(const std::wstring& path) override;
};

}  // namespace ombrix
