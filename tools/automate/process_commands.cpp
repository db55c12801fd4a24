#include <windows.h>
#include <tlhelp32.h>

#include <cwctype>
#include <optional>
#include <vector>

#include "tools/automate/commands.h"
#include "tools/automate/console.h"
#include "platform/win32/unique_handle.h"
#include "tools/automate/json_line.h"
#include "tools/automate/process_start.h"
#include "tools/automate/window_query.h"

namespace ombrix::automate {
namespace {

struct ProcessInfo {
    DWORD pid;
    DWORD parent;
    std::wstring name;
};

std::vector<ProcessInfo> snapshot() {
    const unique_hfile snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) {
        throw Failure{Failed, L"no process snapshot: " + std::to_wstring(GetLastError())};
    }
    std::vector<ProcessInfo> processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap.get(), &entry); more;
         more = Process32NextW(snap.get(), &entry)) {
        processes.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
    return processes;
}

std::optional<std::wstring> imagePath(DWORD pid) {
    unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
        return std::nullopt;
    }
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &size)) {
        return std::nullopt;
    }
    path.resize(size);
    return path;
}

std::wstring lower(std::wstring text) {
    for (auto& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

// Terminates and waits until the process has really gone, so that its files are free.
bool terminate(DWORD pid, UINT code, DWORD timeoutMs) {
    unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process || !TerminateProcess(process.get(), code)) {
        return false;
    }
    return WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace

// One line per process: pid, parent pid, executable name, full image path (null when it cannot
// be read). --name keeps the processes of that executable name, letter case ignored.
int listProcesses(const Args& args) {
    const auto only = args.text(L"name");
    for (const auto& process : snapshot()) {
        if (only && lower(process.name) != lower(*only)) {
            continue;
        }
        JsonLine line;
        line.addInt("pid", process.pid)
            .addInt("parent", process.parent)
            .addText("name", process.name);
        if (auto path = imagePath(process.pid)) {
            line.addText("path", *path);
        } else {
            line.addNull("path");
        }
        writeLine(line.str());
    }
    return Ok;
}

// kill --pid N | --name NAME [--code C]
int killProcesses(const Args& args) {
    const UINT code = static_cast<UINT>(args.numberOr(L"code", 1));
    const DWORD timeoutMs = timeoutOf(args, 5000);
    std::vector<DWORD> targets;
    if (auto pid = args.number(L"pid")) {
        targets.push_back(static_cast<DWORD>(*pid));
    } else {
        const std::wstring name = lower(args.required(L"name"));
        for (const auto& process : snapshot()) {
            if (lower(process.name) == name && process.pid != GetCurrentProcessId()) {
                targets.push_back(process.pid);
            }
        }
    }
    std::vector<std::string> killed;
    for (DWORD pid : targets) {
        if (!terminate(pid, code, timeoutMs)) {
            throw Failure{Failed, L"could not terminate process " + std::to_wstring(pid)};
        }
        killed.push_back(std::to_string(pid));
    }
    writeLine(JsonLine().addRaw("killed", jsonArray(killed)).str());
    return Ok;
}

// start --cmdline "RAW COMMAND LINE" [--cwd DIR]: the command line reaches the program exactly
// as given; answers the new process id without waiting.
int startProgram(const Args& args) {
    const StartedProcess started = startProcess(args, false);
    writeLine(JsonLine().addInt("pid", started.pid).str());
    return Ok;
}

// wait-process --pid N [--timeout MS]: waits for the end of a process; answers its exit code.
int waitProcess(const Args& args) {
    const auto pid = args.number(L"pid");
    if (!pid) {
        throw Failure{Usage, L"wait-process needs --pid"};
    }
    unique_handle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                      static_cast<DWORD>(*pid)));
    if (!process) {
        writeLine(JsonLine().addInt("pid", *pid).addNull("exit_code").str());
        return Ok;
    }
    const DWORD timeoutMs = timeoutOf(args, 10000);
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        throw Failure{TimedOut, L"process " + std::to_wstring(*pid) + L" still runs after " +
                                    std::to_wstring(timeoutMs) + L" ms"};
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    writeLine(JsonLine().addInt("pid", *pid).addInt("exit_code", code).str());
    return Ok;
}

// hold-file PATH [--timeout MS]: keeps the file open without sharing until killed (or until the
// timeout, 10 minutes by default), so that others fail to open, replace or delete it.
namespace {

// Says what is held, then keeps it (and the process) for the timeout.
int KeepHeld(const std::wstring& what, const Args& args) {
    writeLine(JsonLine().addText("held", what).addInt("pid", GetCurrentProcessId()).str());
    Sleep(static_cast<DWORD>(timeoutOf(args, 600000)));
    return Ok;
}

}  // namespace

int holdFile(const Args& args) {
    if (args.positional().size() != 1) {
        throw Failure{Usage, L"hold-file needs one path"};
    }
    const std::wstring& path = args.positional()[0];
    unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throw Failure{Failed, L"cannot open " + path + L": " + std::to_wstring(GetLastError())};
    }
    return KeepHeld(path, args);
}

int holdMutex(const Args& args) {
    if (args.positional().size() != 1) {
        throw Failure{Usage, L"hold-mutex needs one name"};
    }
    const std::wstring& name = args.positional()[0];
    unique_handle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
    if (!mutex) {
        throw Failure{Failed, L"cannot create " + name + L": " + std::to_wstring(GetLastError())};
    }
    return KeepHeld(name, args);
}

}  // namespace ombrix::automate
