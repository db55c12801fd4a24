#include "tests/win32_check/check.h"

#include <windows.h>

#include <cstdio>

namespace ombrix::test {

namespace {

int passed = 0;
int failed = 0;

void PrintLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, nullptr, nullptr);
    return narrow;
}

std::wstring Printable(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += c;
        } else {
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out;
}

std::wstring Printable(const std::string& text) {
    return Printable(Widen(text));
}

std::wstring Describe(const std::vector<int>& values) {
    std::wstring text = L"[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += (i ? L"," : L"") + std::to_wstring(values[i]);
    }
    return text + L"]";
}

bool Record(bool ok, const char* expression, const char* file, int line,
            const std::wstring& detail) {
    if (ok) {
        ++passed;
        return true;
    }
    ++failed;
    std::string text =
        std::string("FAILED ") + file + ":" + std::to_string(line) + ": " + expression;
    if (!detail.empty()) {
        text += " (" + Utf8(detail) + ")";
    }
    PrintLine(text);
    return false;
}

void Section(const std::wstring& title) {
    PrintLine("== " + Utf8(title));
}

void Note(const std::wstring& text) {
    PrintLine("   " + Utf8(text));
}

int Passed() {
    return passed;
}

int Failed() {
    return failed;
}

std::vector<TestCase>& Tests() {
    static std::vector<TestCase> tests;
    return tests;
}

int RunTests(const std::wstring& filter) {
    int testsPassed = 0;
    int testsFailed = 0;
    for (const TestCase& test : Tests()) {
        if (!filter.empty() && Widen(test.name).find(filter) == std::wstring::npos) {
            continue;
        }
        PrintLine(test.name);
        const int before = failed;
        test.run();
        if (failed == before) {
            ++testsPassed;
        } else {
            ++testsFailed;
            PrintLine(std::string("  -> ") + test.name + " failed");
        }
    }
    std::printf("%d passed, %d failed\n", testsPassed, testsFailed);
    return testsFailed == 0 && testsPassed > 0 ? 0 : 1;
}

}  // namespace ombrix::test
