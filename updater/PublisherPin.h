#pragma once
#include <string>

#include "platform/file_system.h"
#include "platform/signatures.h"

namespace ombrix::updater {

// True when the download may replace the installed product: the installed executable is absent
// or carries no valid signature (nothing to pin to), or the download is validly signed by the
// same publisher (same signer subject; a renewed certificate of that publisher is accepted).
bool DownloadMatchesPublisher(Signatures& signatures, FileSystem& files,
                              const std::wstring& installed, const std::wstring& download);

}  // namespace ombrix::updater
