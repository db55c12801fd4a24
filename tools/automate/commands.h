#pragma once
// The subcommands. Each prints its answer as JSON lines and returns the exit code, or throws a
// Failure.
#include "tools/automate/args.h"

namespace ombrix::automate {

// Windows and controls (window_commands.cpp)
int waitWindow(const Args& args);
int waitGone(const Args& args);
int listWindows(const Args& args);
int listChildren(const Args& args);
int controlText(const Args& args);
int waitText(const Args& args);
int controlRect(const Args& args);
int focusedControl(const Args& args);
int progressBar(const Args& args);
int postClick(const Args& args);

// Message boxes (message_box_commands.cpp)
int messageBox(const Args& args);
int clickMessageBox(const Args& args);

// Mouse and keyboard (input_commands.cpp)
int mouse(const Args& args);
int drag(const Args& args);
int keys(const Args& args);
int typeText(const Args& args);

// The registry (registry_commands.cpp)
int registryValue(const Args& args);
int registrySet(const Args& args);

// What screen readers find and hear (accessible_commands.cpp)
int accessible(const Args& args);
int winEvents(const Args& args);

// Processes and files (process_commands.cpp, run_command.cpp, idle_command.cpp)
int listProcesses(const Args& args);
int killProcesses(const Args& args);
int startProgram(const Args& args);
int waitProcess(const Args& args);
int runProgram(const Args& args);
int holdFile(const Args& args);
int holdMutex(const Args& args);
int idle(const Args& args);

}  // namespace ombrix::automate
