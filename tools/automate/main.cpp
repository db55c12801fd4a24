// automate: drives the programs under test from outside, as a user and a screen reader would.
// Usage: automate SUBCOMMAND [options]; every answer is JSON, one object per line, on stdout.
#include <windows.h>

#include <string>

#include "tools/automate/args.h"
#include "tools/automate/commands.h"
#include "tools/automate/console.h"

namespace {

using Command = int (*)(const ombrix::automate::Args&);

struct Entry {
    const wchar_t* name;
    Command run;
    const wchar_t* usage;
};

// Window options shared by most commands: --caption TEXT --class NAME --size WxH --pid N
// --hwnd N --visible, and --id N for a control at any depth below the window.
constexpr Entry kCommands[] = {
    {L"wait-window", ombrix::automate::waitWindow, L"WINDOW [--visible] [--timeout MS]"},
    {L"wait-gone", ombrix::automate::waitGone, L"WINDOW [--timeout MS]"},
    {L"windows", ombrix::automate::listWindows, L"[WINDOW]"},
    {L"children", ombrix::automate::listChildren, L"WINDOW"},
    {L"text", ombrix::automate::controlText, L"WINDOW --id N"},
    {L"wait-text", ombrix::automate::waitText, L"WINDOW --id N --equals T|--contains T"},
    {L"rect", ombrix::automate::controlRect, L"WINDOW [--id N]"},
    {L"focus", ombrix::automate::focusedControl, L"WINDOW"},
    {L"progress", ombrix::automate::progressBar, L"WINDOW --id N"},
    {L"post-click", ombrix::automate::postClick, L"WINDOW --id N"},
    {L"msgbox", ombrix::automate::messageBox, L"[--caption T] [--pid N] [--timeout MS]"},
    {L"click", ombrix::automate::clickMessageBox, L"--button ok|yes|no|cancel [--timeout MS]"},
    {L"mouse", ombrix::automate::mouse,
     L"move|down|up|click WINDOW [--id N] [--x X --y Y] [--button left|right|middle]"},
    {L"drag", ombrix::automate::drag, L"WINDOW [--id N] --dx DX --dy DY [--steps N]"},
    {L"key", ombrix::automate::keys, L"[WINDOW] KEY... (tab, shift+tab, space, enter, a, ...)"},
    {L"type", ombrix::automate::typeText, L"[WINDOW] --text TEXT"},
    {L"accessible", ombrix::automate::accessible, L"WINDOW [--id N]"},
    {L"events", ombrix::automate::winEvents,
     L"--event liveregion|namechange [--pid N] [--count N] [--until NAME] [--timeout MS]"},
    {L"processes", ombrix::automate::listProcesses, L"[--name EXE]"},
    {L"kill", ombrix::automate::killProcesses, L"--pid N|--name EXE [--code C]"},
    {L"start", ombrix::automate::startProgram, L"--cmdline RAW [--cwd DIR]"},
    {L"wait-process", ombrix::automate::waitProcess, L"--pid N [--timeout MS]"},
    {L"run", ombrix::automate::runProgram, L"--cmdline RAW [--cwd DIR] [--timeout MS]"},
    {L"reg-value", ombrix::automate::registryValue, L"--key KEY [--name NAME]"},
    {L"reg-set", ombrix::automate::registrySet, L"--key KEY [--name NAME] --type N --hex HEX"},
    {L"hold-file", ombrix::automate::holdFile, L"PATH [--timeout MS]"},
    {L"hold-mutex", ombrix::automate::holdMutex, L"NAME [--timeout MS]"},
    {L"idle", ombrix::automate::idle, L"[--timeout MS]"},
};

int usage() {
    std::wstring text = L"usage: automate SUBCOMMAND [options]\n";
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
            writeError(name + L": " + failure.message);
            return failure.code;
        }
    }
    writeError(L"unknown subcommand " + name);
    return usage();
}
