#pragma once
#include <string>

namespace ombrix {

// The folder that holds the running executable, without a trailing backslash.
class ProgramFolder {
  public:
    virtual ~ProgramFolder() = default;
    // Read afresh at every call.
    virtual std::wstring path() = 0;
};

}  // namespace ombrix
