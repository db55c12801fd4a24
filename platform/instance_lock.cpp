#include "platform/instance_lock.h"

namespace ombrix {

InstanceClaim ClaimLock(LockFile& lock) {
    using Result = LockFile::Result;
    for (int round = 0; round < kLockClaimRounds; ++round) {
        const Result made = lock.create();
        if (made == Result::Done) {
            return InstanceClaim::Claimed;
        }
        if (made != Result::Exists) {
            return InstanceClaim::Failed;
        }
        // A running updater holds its lock shared with nobody, so only a lock nobody holds
        // opens for deletion.
        const Result removed = lock.removeLeftBehind();
        if (removed == Result::InUse) {
            return InstanceClaim::AnotherRunning;
        }
        if (removed != Result::Done) {
            return InstanceClaim::Failed;
        }
    }
    return InstanceClaim::AnotherRunning;
}

}  // namespace ombrix
