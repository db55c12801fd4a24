#include "updater/Leftovers.h"

#include "updater/Executable.h"
#include "updater/InstallFiles.h"
#include "updater/RollbackRecord.h"

namespace ombrix::updater {

std::optional<std::wstring> PutRightLeftovers(Services& s) {
    const InstallFiles files = InstallFilesOf(s);
    const std::wstring rollback = RollbackRecordPath(s);
    if (s.files.fileExists(rollback)) {
        // The product that did not start is runnable all the same: only the record tells that
        // its backup is the one to keep.
        if (s.files.fileExists(files.backup) && RollbackRecordNames(s, files.product) &&
            s.files.moveFile(files.backup, files.product).has_value()) {
            return files.backup;  // still held, say: the next run tries again
        }
        // Back, or nothing left to say (the product holds other bytes, or there is no backup):
        // the rules below do the rest.
        s.files.deleteFile(rollback);
    }
    if (s.files.fileExists(files.backup)) {
        if (!s.files.fileExists(files.product) || !IsWindowsExecutable(s.files, files.product)) {
            s.files.moveFile(files.backup, files.product);
        } else {
            s.files.deleteFile(files.backup);
        }
    }
    for (const std::wstring& left : {files.fresh, files.delta}) {
        if (s.files.fileExists(left)) {
            s.files.deleteFile(left);
        }
    }
    return std::nullopt;
}

}  // namespace ombrix::updater
