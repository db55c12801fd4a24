#!/usr/bin/env python3
"""The window services against the real Windows API: runs ui_tests.exe under Wine."""
# ctest-timeout: 300
import sys

import harness

EXE = "tests/ui_win32/ui_tests.exe"

harness.require_programs(EXE)
result = harness.session().run_exe(harness.tool(EXE), timeout=240)
print(result.stdout)
print(result.stderr, file=sys.stderr)
sys.exit(0 if result.code == 0 else 1)
