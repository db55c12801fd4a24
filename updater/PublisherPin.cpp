#include "updater/PublisherPin.h"

namespace ombrix::updater {

bool DownloadMatchesPublisher(Signatures& signatures, FileSystem& files,
                              const std::wstring& installed, const std::wstring& download) {
    if (!files.fileExists(installed)) {
        return true;
    }
    const Signature pinned = signatures.check(installed);
    if (pinned.status != Signature::Status::Valid) {
        return true;
    }
    const Signature offered = signatures.check(download);
    return offered.status == Signature::Status::Valid &&
           offered.signerSubject == pinned.signerSubject;
}

}  // namespace ombrix::updater
