#pragma once
// The decimal text of a whole number. Written out here rather than through std::to_wstring,
// which on Windows goes through the C library's formatted output and brings its floating-point
// and locale code into the programs.
#include <string>

namespace ombrix {

inline std::wstring DecimalText(long long value) {
    wchar_t digits[24];
    wchar_t* const end = digits + 24;
    wchar_t* first = end;
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        *--first = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        *--first = L'-';
    }
    return std::wstring(first, end);
}

}  // namespace ombrix
