#pragma once
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "platform/shell_notify.h"

namespace ombrix::registrar {

// Exit codes: the icon refresh never changes them.
inline constexpr int kExitRegistered = 0;
inline constexpr int kExitRegistrationFailed = 1;

// The registrar's whole run: registers the document type, then makes the shell reload its
// icons. Shows nothing; the result is the exit code.
int Form1Load(Registry& registry, ShellNotifier& notifier, ProgramFolder& folder);

}  // namespace ombrix::registrar
