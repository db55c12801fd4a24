#pragma once
// Signatures by file path; a file not listed is unsigned. Looked up ignoring letter case.
#include <map>
#include <string>
#include <vector>

#include "fakes/fake_basics.h"
#include "platform/signatures.h"

namespace ombrix::fakes {

class FakeSignatures : public Signatures {
  public:
    std::map<std::wstring, Signature, NoCaseLess> byPath;
    std::vector<std::wstring> checked;
    Signature check(const std::wstring& path) override {
        checked.push_back(path);
        const auto found = byPath.find(path);
        return found == byPath.end() ? Signature{} : found->second;
    }
};

}  // namespace ombrix::fakes
