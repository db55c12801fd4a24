#pragma once
// The probe's measurements. Each starts one program, prints one JSON line and returns the exit
// code, or throws an automate::Failure. Times are in microseconds from just before the program
// was created; memory in bytes.
#include <windows.h>

#include "tools/automate/args.h"

namespace ombrix::bench {

// download --cmdline RAW [--cwd DIR] --caption T --size WxH --id N --text T [--answer BUTTON]
//          [--box-every MS]
int downloadRun(const automate::Args& args);
// run --cmdline RAW [--cwd DIR]
int wholeRun(const automate::Args& args);
// window --cmdline RAW [--cwd DIR] --caption T
int windowShown(const automate::Args& args);

// Every wait of the probe is bounded by --timeout (milliseconds).
constexpr DWORD kDefaultTimeoutMs = 300000;
// How often the memory counters are read while a program runs.
constexpr DWORD kMemorySampleMs = 5;

}  // namespace ombrix::bench
