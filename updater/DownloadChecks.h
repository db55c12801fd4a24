#pragma once
#include <string>

#include "updater/ReleaseStatement.h"
#include "updater/Run.h"

namespace ombrix::updater {

// How long a file that another program holds open is waited for, and how often it is tried.
inline constexpr unsigned kInUseWaitMs = 15000;
inline constexpr unsigned kInUseRetryMs = 250;

// Holds the complete download at `download` in run.heldDownload, so that what is checked is what
// the install step copies (one that cannot be held is refused: the run ends). With a signed
// `statement`, true only when the held bytes are exactly the stated ones; nothing is parsed
// before that is known, and on false nothing is refused yet.
bool HoldDownload(Run& run, const std::wstring& download, const ReleaseStatement* statement);

// Decides, before anything is closed or terminated, whether the held download may replace the
// installed product at `installed`: a complete program this Windows runs, of the stated version
// where a `statement` names one, not the installed bytes again (then the run ends with
// kExitAlreadyNewest), not an older version, and from the installed product's publisher. On a
// refusal the download is removed and the run ends.
void CheckDownload(Run& run, const std::wstring& download, const std::wstring& installed,
                   const ReleaseStatement* statement);

}  // namespace ombrix::updater
