#pragma once
#include "updater/Services.h"

namespace ombrix::updater {

// Puts right what a run ended from outside (task manager, power cut) left in the program
// folder: a backup beside a missing or broken product goes back in place, any other backup and
// a copy of a new product go.
void PutRightLeftovers(Services& s);

}  // namespace ombrix::updater
