#pragma once
// A very small test runner: named test functions, checks that report and count their failures.
#include <string>
#include <type_traits>
#include <vector>

namespace ombrix::uitest {

struct TestCase {
    const char* name;
    void (*run)();
};

std::vector<TestCase>& Tests();

struct Registrar {
    Registrar(const char* name, void (*run)()) { Tests().push_back({name, run}); }
};

std::string Printable(const std::wstring& text);
std::string Printable(const std::string& text);
std::string Printable(long long value);

bool Check(bool ok, const char* expression, const char* file, int line);

template <typename A, typename B>
bool CheckEqual(const A& actual, const B& expected, const char* expression, const char* file,
                int line) {
    if (actual == expected) {
        return true;
    }
    if constexpr (std::is_arithmetic_v<A> || std::is_enum_v<A>) {
        Check(false,
              (std::string(expression) + ": got " + Printable(static_cast<long long>(actual)) +
               ", wanted " + Printable(static_cast<long long>(expected)))
                  .c_str(),
              file, line);
    } else {
        Check(false,
              (std::string(expression) + ": got \"" + Printable(actual) + "\", wanted \"" +
               Printable(expected) + "\"")
                  .c_str(),
              file, line);
    }
    return false;
}

}  // namespace ombrix::uitest

#define UI_TEST(name)                                                      \
    static void name();                                                    \
    static const ::ombrix::uitest::Registrar name##Registrar(#name, name); \
    static void name()

#define CHECK(condition) ::ombrix::uitest::Check((condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) \
    ::ombrix::uitest::CheckEqual((actual), (expected), #actual, __FILE__, __LINE__)
