#pragma once
#include <functional>
#include <optional>

#include "updater/InstallFiles.h"
#include "updater/Run.h"

namespace ombrix::updater {

// Runs a file operation again while another program holds the file (a virus scanner or an
// indexer opens new files for a moment): for at least kRetryForMs, with growing pauses that
// pump events, never past kRetryAtMostMs. Other failures are returned at once.
inline constexpr unsigned kRetryForMs = 10000;
inline constexpr unsigned kRetryAtMostMs = 30000;
std::optional<FileFailure> WithRetries(Clock& clock,
                                       const std::function<std::optional<FileFailure>()>& op);

// Puts the checked download in place of the product, so that a power cut at any moment leaves
// either product whole: a flushed copy of the held download in a file created new beside the
// product (held so that nobody can change or swap it), a flushed copy of the old product as the
// backup, the new copy renamed through its handle over the product. Steps already done (in
// run.install) are not done again. On failure the backup is still there, for the run's end to
// put back.
std::optional<FileFailure> ReplaceProduct(Run& run);

}  // namespace ombrix::updater
