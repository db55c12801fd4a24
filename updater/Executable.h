#pragma once
#include <string>

#include "platform/file_system.h"
#include "platform/machines.h"

namespace ombrix::updater {

enum class ProgramCheck {
    Program,      // a complete Windows program that this Windows can start
    Incomplete,   // its headers promise a signature that the file does not hold in full
    NotAProgram,  // anything else: an error page, a body cut short, a library, a boot loader...
};

// True when the file is a PE image that holds every section's data its headers describe. Keeps
// an error page or a truncated body from replacing the product.
bool IsWindowsExecutable(FileSystem& files, const std::wstring& path);

// Whether the file is a Windows program that can replace the product: a PE image whose every
// section's data and certificate table the file holds; an executable, not a DLL; a GUI or
// console program; with the optional header of its machine (PE32 for i386, PE32+ for the
// 64-bit ones), and a machine this Windows runs.
ProgramCheck CheckProgram(FileSystem& files, Machines& machines, const std::wstring& path);

}  // namespace ombrix::updater
