#pragma once
#include <memory>
#include <string>
#include <vector>

#include "updater/Services.h"

namespace ombrix::updater {

// The running process `entry`, opened, when it is this folder's product: its executable's name
// is `exeName` and its image is the file `product` itself. Null otherwise.
std::unique_ptr<ProcessHandle> OpenIfProduct(Services& s, const ProcessEntry& entry,
                                             const std::wstring& exeName,
                                             const std::wstring& product);

// Asks every running copy of this folder's product to close, as Windows asks a program that an
// installer must replace: the session-end query to each of its top-level windows, then the
// session's end (only to a process that agreed everywhere; the others are told to go on), then
// a close to every window still there. A process without windows is terminated at once.
// Returns the processes asked or terminated, to be waited for.
std::vector<std::unique_ptr<ProcessHandle>> AskProductToClose(Services& s,
                                                              const std::wstring& exeName,
                                                              const std::wstring& product);

// Waits, pumping, until every process has ended or `maxMs` have passed; forgets the ended ones.
void WaitForExit(Services& s, std::vector<std::unique_ptr<ProcessHandle>>& processes,
                 unsigned maxMs);

}  // namespace ombrix::updater
