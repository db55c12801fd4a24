#pragma once
// Everything the updater's logic reaches the system through.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/app.h"
#include "platform/clock.h"
#include "platform/ecdsa.h"
#include "platform/file_system.h"
#include "platform/hashing.h"
#include "platform/machines.h"
#include "platform/launcher.h"
#include "platform/message_box.h"
#include "platform/processes.h"
#include "platform/program_folder.h"
#include "platform/progress_bar.h"
#include "platform/signatures.h"
#include "platform/taskbar.h"
#include "platform/transfer.h"
#include "platform/window.h"

namespace ombrix::updater {

// Exit codes, for installers and scripts that start the updater.
inline constexpr int kExitInstalled = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitAnotherInstance = 2;
inline constexpr int kExitCancelled = 3;
inline constexpr int kExitAlreadyNewest = 4;

struct Services {
    Application& app;
    Clock& clock;
    MessageBoxes& boxes;
    FileSystem& files;
    ProgramFolder& folder;
    Processes& processes;
    Window& form1;
    ProgressBar& progressBar1;
    // The taskbar button's progress; it mirrors the progress bar by itself.
    TaskbarProgress& taskbar;
    Transfer& inet1;
    Signatures& signatures;
    Machines& machines;
    Launcher& launcher;
    Hashing& hashing;
    // Creates the install window, reporting to the given events.
    std::function<std::unique_ptr<Window>(WindowEvents&)> createForm2;
    // The keys a release must be signed with, fixed when the program is built, and what checks
    // the signature; without keys (a build that asked for none) nothing is checked.
    std::vector<EcdsaKey> releaseKeys = {};
    Ecdsa* ecdsa = nullptr;
    // The largest download accepted, in bytes: the build's ceiling (CMake option
    // UPDATE_MAX_BYTES).
    std::uint64_t maxDownloadBytes = OMBRIX_UPDATE_MAX_BYTES;
    // The largest product updated by delta (CMake option UPDATE_MAX_DELTA_BYTES); a larger one,
    // or a larger release, always comes whole.
    std::uint64_t maxDeltaBytes = OMBRIX_UPDATE_MAX_DELTA_BYTES;
};

// Where an update run stands; cancel and close depend on it.
enum class Phase { Starting, Downloading, Waiting, Installing, Ended };

}  // namespace ombrix::updater
