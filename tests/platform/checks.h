#pragma once
// The groups of checks, one per service, and the transfer timing.
#include <string>

#include "tests/win32_check/check.h"

namespace ombrix::test {

// Files and folders below `workFolder` (created when missing).
void CheckFileSystem(const std::wstring& workFolder);
// Starts a copy of this program (`selfPath`) in `workFolder` as a helper that only waits.
void CheckProcesses(const std::wstring& selfPath, const std::wstring& workFolder);
// Each transfer case whose URL the options name; --body is the file the servers serve.
void CheckTransfers(const Options& options);
// Prints the throughput of a plain reader and of the component on `url` (nothing checked but
// that the bodies are whole); the component's run with file writes writes into `workFolder`.
void TimeTransfer(const std::wstring& url, const std::wstring& workFolder);

// The helper's entry: waits until it is terminated (bounded, in case nobody does).
int RunWaitingHelper();

}  // namespace ombrix::test
