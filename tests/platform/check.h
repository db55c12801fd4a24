#pragma once
// A tiny check runner: each failed check prints where and what; the program ends with
// "N passed, N failed".
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ombrix::test {

// Records one check; prints it when it fails. Returns `ok`, so that a caller can stop early.
bool Record(bool ok, const char* expression, const char* file, int line,
            const std::wstring& detail = {});
// Prints a heading, or a line of information (timings).
void Section(const std::wstring& title);
void Note(const std::wstring& text);
int Passed();
int Failed();

std::wstring Widen(const std::string& text);
std::string Utf8(const std::wstring& text);
std::wstring Describe(const std::vector<int>& values);

// What the test script hands over on the command line ("--name value" pairs).
using Options = std::map<std::wstring, std::wstring>;

}  // namespace ombrix::test

#define CHECK(condition) ::ombrix::test::Record((condition), #condition, __FILE__, __LINE__)
#define CHECK_DETAIL(condition, detail) \
    ::ombrix::test::Record((condition), #condition, __FILE__, __LINE__, (detail))
