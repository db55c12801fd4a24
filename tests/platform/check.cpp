#include "check.h"

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

}  // namespace ombrix::test
