#pragma once
// What the fakes share: bytes, names compared as Windows compares them, the one log they all
// write to, and the exception that stands for the end of the process.
#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <string>
#include <vector>

namespace ombrix::fakes {

using Bytes = std::vector<std::uint8_t>;

inline std::wstring Lower(std::wstring s) {
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return std::towlower(c); });
    return s;
}

// Windows file names ignore letter case.
struct NoCaseLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return Lower(a) < Lower(b);
    }
};

// What ends the process at once in the real program; tests catch it.
struct ExitRequested {
    int code;
};

using Log = std::vector<std::wstring>;

}  // namespace ombrix::fakes
