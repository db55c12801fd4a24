#pragma once
#include <string>

#include "platform/signatures.h"

namespace ombrix::updater {

enum class PinVerdict {
    Accepted,
    OtherPublisher,       // the download is not validly signed by the installed product's signer
    InstalledUnreadable,  // the installed product cannot be read: whose it is stays unknown
    InstalledUnnamed,     // the installed product is signed, but by nobody who can be named
};

// Whether the download may replace the installed product. Updates are pinned to the signer of
// the installed product: only a product that can be read and carries no signature at all
// leaves them unpinned. A signature that no longer verifies (the file changed, the certificate
// expired without a timestamp) still pins to the signer it names. The download must then be
// validly signed by that same signer (same identity; a renewed certificate of that publisher
// is accepted).
PinVerdict CheckPublisher(Signatures& signatures, const std::wstring& installed,
                          const std::wstring& download);

}  // namespace ombrix::updater
