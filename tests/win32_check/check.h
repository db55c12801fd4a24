#pragma once
// The check kit of the Win32 test programs (tests/platform, tests/ui_win32), run under Wine.
// A failed check prints "FAILED file:line: expression (detail)" and is counted; CHECK goes on,
// ASSERT leaves the test function (use it where a later line would crash on the failure).
// Named tests (WIN32_TEST) run one after another from RunTests.
#include <map>
#include <string>
#include <type_traits>
#include <vector>

namespace ombrix::test {

// Records one check; prints it when it fails. Returns `ok`, so that a caller can stop early.
bool Record(bool ok, const char* expression, const char* file, int line,
            const std::wstring& detail = {});
// Prints a heading, or a line of information (timings, reasons).
void Section(const std::wstring& title);
void Note(const std::wstring& text);
// Checks so far.
int Passed();
int Failed();

std::wstring Widen(const std::string& text);
std::string Utf8(const std::wstring& text);
// For failure messages: the text with everything outside printable ASCII as \uXXXX.
std::wstring Printable(const std::wstring& text);
std::wstring Printable(const std::string& text);
std::wstring Describe(const std::vector<int>& values);

template <typename A, typename B>
bool RecordEqual(const A& actual, const B& expected, const char* expression, const char* file,
                 int line) {
    if (actual == expected) {
        return Record(true, expression, file, line);
    }
    if constexpr (std::is_arithmetic_v<A> || std::is_enum_v<A>) {
        return Record(false, expression, file, line,
                      L"got " + std::to_wstring(static_cast<long long>(actual)) + L", wanted " +
                          std::to_wstring(static_cast<long long>(expected)));
    } else {
        return Record(
            false, expression, file, line,
            L"got \"" + Printable(actual) + L"\", wanted \"" + Printable(expected) + L"\"");
    }
}

// What a test script hands over on the command line ("--name value" pairs).
using Options = std::map<std::wstring, std::wstring>;

struct TestCase {
    const char* name;
    void (*run)();
};
std::vector<TestCase>& Tests();
struct Registrar {
    Registrar(const char* name, void (*run)()) { Tests().push_back({name, run}); }
};
// Runs every registered test whose name contains `filter` (all for an empty one) and prints
// "N passed, N failed" of the tests. Exit code: 0 when some ran and none failed.
int RunTests(const std::wstring& filter);

}  // namespace ombrix::test

#define WIN32_TEST(name)                                                 \
    static void name();                                                  \
    static const ::ombrix::test::Registrar name##Registrar(#name, name); \
    static void name()

#define CHECK(condition) ::ombrix::test::Record((condition), #condition, __FILE__, __LINE__)
#define CHECK_DETAIL(condition, detail) \
    ::ombrix::test::Record((condition), #condition, __FILE__, __LINE__, (detail))
#define CHECK_EQ(actual, expected) \
    ::ombrix::test::RecordEqual((actual), (expected), #actual, __FILE__, __LINE__)

#define ASSERT(condition)      \
    do {                       \
        if (!CHECK(condition)) \
            return;            \
    } while (false)
#define ASSERT_DETAIL(condition, detail)      \
    do {                                      \
        if (!CHECK_DETAIL(condition, detail)) \
            return;                           \
    } while (false)
#define ASSERT_EQ(actual, expected)      \
    do {                                 \
        if (!CHECK_EQ(actual, expected)) \
            return;                      \
    } while (false)
