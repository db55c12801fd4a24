// probe: measures one run of a program under test from outside, the way the automation tool
// looks at programs, with the performance counter as its clock.
// Usage: probe download|run|window [options]; the answer is one JSON line on stdout.
#include <windows.h>

#include <string>

#include "bench/probe/commands.h"
#include "tools/automate/console.h"

namespace {

using Command = int (*)(const ombrix::automate::Args&);

struct Entry {
    const wchar_t* name;
    Command run;
    const wchar_t* usage;
};

constexpr Entry kCommands[] = {
    {L"download", ombrix::bench::downloadRun,
     L"--cmdline RAW [--cwd DIR] --caption T --size WxH --id N --text T [--answer ok|yes|no] "
     L"[--box-every MS]"},
    {L"run", ombrix::bench::wholeRun, L"--cmdline RAW [--cwd DIR]"},
    {L"window", ombrix::bench::windowShown, L"--cmdline RAW [--cwd DIR] --caption T"},
};

int usage() {
    std::wstring text = L"usage: probe COMMAND [options] [--timeout MS]\n";
    for (const auto& command : kCommands) {
        text += L"  " + std::wstring(command.name) + L" " + command.usage + L"\n";
    }
    ombrix::automate::writeError(text);
    return ombrix::automate::Usage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace ombrix::automate;
    if (argc < 2) {
        return usage();
    }
    const std::wstring name = argv[1];
    for (const auto& command : kCommands) {
        if (name != command.name) {
            continue;
        }
        try {
            return command.run(Args(argc - 2, argv + 2));
        } catch (const Failure& failure) {
            writeError(L"probe " + name + L": " + failure.message);
            return failure.code;
        }
    }
    return usage();
}
