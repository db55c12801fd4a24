// Runs every test, or those whose name contains the first argument.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/ui_win32/check.h"
#include "tests/ui_win32/support.h"

namespace ombrix::uitest {
extern int g_failedChecks;
}

int wmain(int argc, wchar_t** argv) {
    using namespace ombrix::uitest;
    if (RunAsChildIfAsked()) {
        return 0;
    }
    const std::wstring filter = argc > 1 ? argv[1] : L"";
    int passed = 0;
    int failed = 0;
    for (const TestCase& test : Tests()) {
        const std::string name = test.name;
        if (!filter.empty() &&
            std::wstring(name.begin(), name.end()).find(filter) == std::wstring::npos) {
            continue;
        }
        std::printf("%s\n", test.name);
        std::fflush(stdout);
        const int before = g_failedChecks;
        test.run();
        if (g_failedChecks == before) {
            ++passed;
        } else {
            ++failed;
            std::printf("  -> %s failed\n", test.name);
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}
