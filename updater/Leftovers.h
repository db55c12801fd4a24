#pragma once
#include <optional>
#include <string>

#include "updater/Services.h"

namespace ombrix::updater {

// Puts right what a run ended from outside (task manager, power cut) left in the program
// folder: a backup beside a missing or broken product goes back in place, any other backup and
// a copy of a new product and an unapplied delta go. A backup that a failed rollback kept
// (download\B.rollback names the product that did not start) goes back while that product is still
// in place. Returns the backup's path when it still cannot: it is then the last good copy, and
// nothing may be installed over the product before it is back.
std::optional<std::wstring> PutRightLeftovers(Services& s);

}  // namespace ombrix::updater
