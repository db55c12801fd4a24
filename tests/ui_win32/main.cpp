// Runs every test, or those whose name contains the first argument.
#include <windows.h>

#include <string>

#include "tests/ui_win32/support.h"
#include "tests/win32_check/check.h"

int wmain(int argc, wchar_t** argv) {
    if (ombrix::uitest::RunAsChildIfAsked()) {
        return 0;
    }
    return ombrix::test::RunTests(argc > 1 ? argv[1] : L"");
}
