#include <gtest/gtest.h>

#include "fakes/updater_rig.h"

namespace ombrix {
namespace {

using fakes::Bytes;
using fakes::UpdaterRig;
using Calls = std::vector<std::string>;

TEST(TaskbarTest, DownloadWithALengthShowsItsShareStepByStep) {
    UpdaterRig rig;
    rig.download(Bytes(5000, 'x'));
    // Five chunks of 1 KiB; the failure box (no program) turns the button red.
    EXPECT_EQ(rig.taskbarButton.calls, (Calls{"normal", "0/1000", "204/1000", "409/1000",
                                              "614/1000", "819/1000", "1000/1000", "error"}));
}

TEST(TaskbarTest, DownloadWithoutALengthMovesUntilItsEnd) {
    UpdaterRig rig;
    rig.download(Bytes(3000, 'x'), std::nullopt);
    // The bar stops moving before it learns its length: a moment at 0 comes first.
    EXPECT_EQ(rig.taskbarButton.calls,
              (Calls{"indeterminate", "normal", "0/1000", "1000/1000", "error"}));
}

TEST(TaskbarTest, FailureBeforeTheBodyIsShownAndStays) {
    UpdaterRig rig;
    rig.inet.status = 500;
    rig.download(Bytes(100, 'x'));
    EXPECT_EQ(rig.taskbarButton.calls, (Calls{"error"}));

    // Nothing after a failure takes its look away; values are told only when they change.
    fakes::FakeProgressBar bar;
    fakes::FakeTaskbar button;
    TaskbarMirror mirror(bar, button);
    mirror.setMaximum(3000);
    mirror.setValue(2);  // below one thousandth
    mirror.setValue(3);
    mirror.setState(TaskbarProgress::State::Error);
    mirror.setIndeterminate(true);
    mirror.setValue(3000);
    EXPECT_EQ(button.calls, (Calls{"normal", "0/1000", "1/1000", "error"}));
    EXPECT_EQ(bar.val, 3000);
    EXPECT_TRUE(bar.indeterminate);
}

}  // namespace
}  // namespace ombrix
