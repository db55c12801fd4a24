#pragma once
#include <string>

#include "updater/Services.h"

namespace ombrix::updater {

// The files of the install step, all in the program folder, so that every rename among them
// stays on one volume. The copy and the backup have fixed names, so that what a run killed from
// outside left behind is found by the next one.
struct InstallFiles {
    std::wstring download;  // P\B
    std::wstring product;   // P\B.exe
    std::wstring fresh;     // the new product, copied and flushed before it is renamed in place
    std::wstring backup;    // the old product, until the run has ended well
    std::wstring delta;     // P\download\B.delta: a delta from the old product, until applied
};

InstallFiles InstallFilesOf(Services& s);
// The product's file name (B.exe), as its processes are named too.
std::wstring ProductFileName(Services& s);

}  // namespace ombrix::updater
