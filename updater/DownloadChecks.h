#pragma once
#include <string>

#include "updater/Run.h"

namespace ombrix::updater {

// How long a file that another program holds open is waited for, and how often it is tried.
inline constexpr unsigned kInUseWaitMs = 15000;
inline constexpr unsigned kInUseRetryMs = 250;

// Decides, before anything is closed or terminated, whether the complete download at
// `download` may replace the installed product at `installed`: a complete program this
// Windows runs, not the installed bytes again (then the run ends with kExitAlreadyNewest), not
// an older version, and from the installed product's publisher. On a refusal the download is
// removed and the run ends. When it returns, the download is held in run.heldDownload, so that
// what was checked is what the install step copies.
void CheckDownload(Run& run, const std::wstring& download, const std::wstring& installed);

}  // namespace ombrix::updater
