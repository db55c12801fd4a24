#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/instance_lock.h"
#include "platform/private_access.h"

namespace ombrix {
namespace {

TEST(PrivateAccessTest, OnlyTheSystemTheAdministratorsAndTheAccountGetIn) {
    EXPECT_EQ(PrivateAccessDescriptor(L"S-1-5-21-3623811015-3361044348-30300820-1013"),
              L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;S-1-5-21-3623811015-3361044348-30300820-1013)");
    // Nothing but a SID's text is placed in the list.
    for (const wchar_t* bad : {L"", L"S-1-", L"S-1-5-", L"S-1-5--18", L"s-1-5-18", L"WD",
                               L"S-1-5-18)(A;;FA;;;WD", L"S-1-5-18 "}) {
        EXPECT_FALSE(PrivateAccessDescriptor(bad)) << bad;
    }
}

// A lock file whose outcomes a test sets, one per call; it logs the calls.
struct ScriptedLock : LockFile {
    std::deque<Result> creates;
    std::deque<Result> removals;
    std::vector<std::string> calls;
    static Result Next(std::deque<Result>& results) {
        const Result next = results.empty() ? Result::Failed : results.front();
        if (!results.empty()) {
            results.pop_front();
        }
        return next;
    }
    Result create() override {
        calls.push_back("create");
        return Next(creates);
    }
    Result removeLeftBehind() override {
        calls.push_back("remove");
        return Next(removals);
    }
};

TEST(InstanceLockTest, ALockLeftBehindIsTakenOverWhenNobodyHoldsIt) {
    using R = LockFile::Result;
    ScriptedLock left;
    left.creates = {R::Exists, R::Done};
    left.removals = {R::Done};
    EXPECT_EQ(ClaimLock(left), InstanceClaim::Claimed);
    EXPECT_EQ(left.calls, (std::vector<std::string>{"create", "remove", "create"}));

    ScriptedLock running;  // held by the run it belongs to
    running.creates = {R::Exists};
    running.removals = {R::InUse};
    EXPECT_EQ(ClaimLock(running), InstanceClaim::AnotherRunning);

    ScriptedLock racing;  // made again each time by a run starting beside this one
    racing.creates = {R::Exists, R::Exists, R::Exists, R::Exists};
    racing.removals = {R::Done, R::Done, R::Done, R::Done};
    EXPECT_EQ(ClaimLock(racing), InstanceClaim::AnotherRunning);
    EXPECT_EQ(racing.calls.size(), 2u * kLockClaimRounds);

    ScriptedLock unwritable;
    unwritable.creates = {R::Failed};
    EXPECT_EQ(ClaimLock(unwritable), InstanceClaim::Failed);
    ScriptedLock undeletable;
    undeletable.creates = {R::Exists};
    undeletable.removals = {R::Failed};
    EXPECT_EQ(ClaimLock(undeletable), InstanceClaim::Failed);
}

}  // namespace
}  // namespace ombrix
