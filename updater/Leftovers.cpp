#include "updater/Leftovers.h"

#include "updater/Executable.h"
#include "updater/InstallFiles.h"

namespace ombrix::updater {

void PutRightLeftovers(Services& s) {
    const InstallFiles files = InstallFilesOf(s);
    if (s.files.fileExists(files.backup)) {
        if (!s.files.fileExists(files.product) || !IsWindowsExecutable(s.files, files.product)) {
            s.files.moveFile(files.backup, files.product);
        } else {
            s.files.deleteFile(files.backup);
        }
    }
    if (s.files.fileExists(files.fresh)) {
        s.files.deleteFile(files.fresh);
    }
}

}  // namespace ombrix::updater
