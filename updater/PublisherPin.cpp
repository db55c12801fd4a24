#include "updater/PublisherPin.h"

namespace ombrix::updater {

PinVerdict CheckPublisher(Signatures& signatures, const std::wstring& installed,
                          const std::wstring& download) {
    const Signature pinned = signatures.check(installed);
    switch (pinned.status) {
        case Signature::Status::Unsigned:
            return PinVerdict::Accepted;
        case Signature::Status::Unreadable:
            return PinVerdict::InstalledUnreadable;
        case Signature::Status::Valid:
        case Signature::Status::Invalid:
            break;
    }
    if (pinned.signerSubject.empty()) {
        return PinVerdict::InstalledUnnamed;
    }
    const Signature offered = signatures.check(download);
    return offered.status == Signature::Status::Valid &&
                   offered.signerSubject == pinned.signerSubject
               ? PinVerdict::Accepted
               : PinVerdict::OtherPublisher;
}

}  // namespace ombrix::updater
