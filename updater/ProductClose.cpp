#include "updater/ProductClose.h"

#include <algorithm>

#include "updater/Wait.h"

namespace ombrix::updater {
namespace {
// Each message may take this long; a window that stopped answering is not waited for at all.
constexpr unsigned kMessageTimeoutMs = 3000;
constexpr unsigned kWaitStepMs = 20;
}  // namespace

std::unique_ptr<ProcessHandle> OpenIfProduct(Services& s, const ProcessEntry& entry,
                                             const std::wstring& exeName,
                                             const std::wstring& product) {
    if (!s.files.sameName(entry.exeName, exeName)) {
        return nullptr;
    }
    auto process = s.processes.open(entry.id);
    if (!process) {
        return nullptr;  // cannot be opened: it keeps running
    }
    // An installation elsewhere is not the one being replaced.
    const auto image = process->imagePath();
    if (!image || !s.files.sameFile(*image, product)) {
        return nullptr;
    }
    return process;
}

std::vector<std::unique_ptr<ProcessHandle>> AskProductToClose(Services& s,
                                                              const std::wstring& exeName,
                                                              const std::wstring& product) {
    std::vector<std::unique_ptr<ProcessHandle>> asked;
    const auto entries = s.processes.snapshot();
    if (!entries) {
        return asked;
    }
    for (const auto& entry : *entries) {
        auto process = OpenIfProduct(s, entry, exeName, product);
        if (!process) {
            continue;
        }
        const auto windows = s.processes.windowsOf(entry.id);
        if (windows.empty()) {
            // Nothing to ask: it cannot hold a document the user sees.
            if (process->terminate(0)) {
                asked.push_back(std::move(process));
            }
            continue;
        }
        bool agreed = true;
        for (const WindowId window : windows) {
            agreed = s.processes.askToEnd(window, kMessageTimeoutMs) && agreed;
        }
        // Never "ending" to a program that said no: it holds work it has not saved.
        for (const WindowId window : windows) {
            s.processes.tellEnd(window, agreed, kMessageTimeoutMs);
        }
        for (const WindowId window : windows) {
            if (s.processes.windowExists(window)) {
                s.processes.close(window);
            }
        }
        asked.push_back(std::move(process));
    }
    return asked;
}

void WaitForExit(Services& s, std::vector<std::unique_ptr<ProcessHandle>>& processes,
                 unsigned maxMs) {
    // Cancel and the close button still answer while we wait.
    WaitUntil(s.clock, maxMs, kWaitStepMs, [&] {
        std::erase_if(processes, [](const auto& process) { return process->hasExited(); });
        return processes.empty();
    });
}

}  // namespace ombrix::updater
