#include <cstdlib>

#include "updater/Relaunch.h"
#include "updater/Run.h"

namespace ombrix::updater {

void Run::end(int code) {
    s.inet1.cancel();
    discardPartial();
    phase = Phase::Ended;
    freshCopy.reset();
    if (!installFiles.product.empty()) {
        if (s.files.fileExists(installFiles.fresh)) {
            s.files.deleteFile(installFiles.fresh);
        }
        if (s.files.fileExists(installFiles.backup)) {
            if (!install.newInPlace) {
                s.files.moveFile(installFiles.backup, installFiles.product);
            } else if (code == kExitInstalled) {
                s.files.deleteFile(installFiles.backup);
            }
            // Otherwise a new product that did not start could not be rolled back: its backup
            // is the last good copy, and stays.
        }
        // The user ends where they began; not while the session goes away.
        if (install.restartProduct && !install.newInPlace && !install.sessionEnding) {
            StartProduct(s, installFiles.product);
        }
    }
    if ((code == kExitInstalled && install.newInPlace) || code == kExitAlreadyNewest) {
        RecordInstalled(s, record);
    }
    s.app.exitNow(code);
    std::abort();  // not reached; a call through the interface does not tell the compiler so
}

}  // namespace ombrix::updater
