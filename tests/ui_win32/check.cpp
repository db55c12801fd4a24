#include "tests/ui_win32/check.h"

#include <cstdio>

namespace ombrix::uitest {

int g_failedChecks = 0;

std::vector<TestCase>& Tests() {
    static std::vector<TestCase> tests;
    return tests;
}

std::string Printable(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[12];
            std::snprintf(escaped, sizeof(escaped), "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out;
}

std::string Printable(const std::string& text) {
    return text;
}

std::string Printable(long long value) {
    return std::to_string(value);
}

bool Check(bool ok, const char* expression, const char* file, int line) {
    if (!ok) {
        ++g_failedChecks;
        std::printf("  FAILED %s:%d: %s\n", file, line, expression);
        std::fflush(stdout);
    }
    return ok;
}

}  // namespace ombrix::uitest
