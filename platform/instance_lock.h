#pragma once
// The rules of the instance lock, apart from the file system. The lock is a file made new with
// an access of its own and shared with nobody while its run lives. A power cut leaves it behind
// (its delete on close does not survive one); such a lock is taken over when nobody holds it
// open, so that a file left behind never keeps every later run out.
#include "platform/app.h"

namespace ombrix {

class LockFile {
  public:
    enum class Result {
        Done,
        Exists,  // a file (or link) of that name is there already
        InUse,   // someone holds it open
        Failed,  // any other reason (no right to write there, no such folder)
    };
    virtual ~LockFile() = default;
    // Creates the lock where nothing of its name exists, and holds it: Done, Exists or Failed.
    virtual Result create() = 0;
    // Opens what is there under the lock's name with delete access, sharing nothing, and
    // deletes it: Done (also when it is gone already), InUse or Failed.
    virtual Result removeLeftBehind() = 0;
};

// A lock made again between each removal and creation belongs to a run starting beside this
// one: after this many rounds that run is the one.
inline constexpr int kLockClaimRounds = 3;

InstanceClaim ClaimLock(LockFile& lock);

}  // namespace ombrix
