#pragma once
#include <cstdint>
#include <string>

#include "platform/launcher.h"
#include "updater/Services.h"

namespace ombrix::updater {

// An updater with administrator rights starts the product as the desktop's user, so that the
// product does not inherit those rights; but only when that user's shell runs without them.
bool StartAsShellUser(const LaunchContext& context);

// Watches a product just started for up to kWatchMs: false when it ended within that time with
// a status of kFirstFailureStatus or above (a crash, a loader failure). The watch ends early
// once the product waits for input and still runs.
inline constexpr unsigned kWatchMs = 10000;
inline constexpr std::uint32_t kFirstFailureStatus = 0xC0000000u;
bool StartedWell(Services& s, ProcessHandle& process);

// Starts the product as the relaunch does; when the start as the shell's user fails, as this
// process's user.
Started StartProduct(Services& s, const std::wstring& path);

}  // namespace ombrix::updater
