#pragma once
#include <string>

#include "updater/ReleaseStatement.h"
#include "updater/Run.h"

namespace ombrix::updater {

// How long a file that another program holds open is waited for, and how often it is tried.
inline constexpr unsigned kInUseWaitMs = 15000;
inline constexpr unsigned kInUseRetryMs = 250;

// Decides, before anything is closed or terminated, whether the complete download at
// `download` may replace the installed product at `installed`: with a signed `statement`, first
// exactly the stated bytes (before any of them is parsed) and then of the stated version; a
// complete program this Windows runs, not the installed bytes again (then the run ends with
// kExitAlreadyNewest), not an older version, and from the installed product's publisher. On a
// refusal the download is removed and the run ends. When it returns, the download is held in
// run.heldDownload, so that what was checked is what the install step copies.
void CheckDownload(Run& run, const std::wstring& download, const std::wstring& installed,
                   const ReleaseStatement* statement);

}  // namespace ombrix::updater
