#include <gtest/gtest.h>

#include "fakes/updater_rig.h"

namespace ombrix {
namespace {

using fakes::UpdaterRig;

TEST(ChromeTest, CloseButtonLooksFollowPressMoveAndBackground) {
    UpdaterRig rig;
    auto look = [&] { return rig.form1Window.pictureOf[form1::close1]; };
    rig.form1.onMouseDown(form1::close1, MouseButton::Right);
    EXPECT_EQ(look(), form1::closedown);  // any button shows the pressed look
    rig.form1.onMouseMove(form1::close1);
    EXPECT_EQ(look(), form1::closemove);
    rig.form1.onMouseMove(form1::Label3);  // not the background itself: no change
    EXPECT_EQ(look(), form1::closemove);
    rig.form1.onMouseMove(form1::Picture1);
    EXPECT_EQ(look(), form1::closenor);
}

TEST(ChromeTest, PressAnswerNoAndNoMovementKeepsThePressedLook) {
    UpdaterRig rig;
    rig.boxes.answers = {7};
    rig.form1.onMouseDown(form1::close1, MouseButton::Left);
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.onClick(form1::close1); }), -1);
    EXPECT_EQ(rig.form1Window.pictureOf[form1::close1], form1::closedown);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, L"Ombrix正在升级中，你确定要退出升级程序？");
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示");
    EXPECT_EQ(rig.boxes.shown[0].style, kMbYesNo);
    EXPECT_TRUE(rig.form1Window.open);
}

TEST(ChromeTest, ConfirmedCloseBeforeTheResponseEndsWith3) {
    UpdaterRig rig;
    rig.exitCodeOf([&] { rig.form1.Load(); });
    rig.boxes.answers = {kAnswerYes};
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.onClick(form1::close1); }), updater::kExitCancelled);
    EXPECT_TRUE(rig.inet.cancelled);
}

TEST(ChromeTest, EscAndAltF4AskAsTheCloseButtonDoes) {
    UpdaterRig rig;
    rig.exitCodeOf([&] { rig.form1.Load(); });
    rig.boxes.answers = {7, kAnswerYes};
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.onCloseRequest(); }), -1);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, L"Ombrix正在升级中，你确定要退出升级程序？");
    EXPECT_EQ(rig.boxes.shown[0].title, L"提示");
    EXPECT_EQ(rig.boxes.shown[0].style, kMbYesNo);
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1.onCloseRequest(); }), updater::kExitCancelled);
}

TEST(ChromeTest, OnlyTheLeftButtonDragsFromTitleOrBackground) {
    UpdaterRig rig;
    for (auto button : {MouseButton::Right, MouseButton::Middle}) {
        rig.form1.onMouseDown(form1::Label4, button);
        rig.form1.onMouseDown(form1::Picture1, button);
    }
    EXPECT_EQ(rig.form1Window.drags, 0);
    rig.form1.onMouseDown(form1::Label3, MouseButton::Left);
    EXPECT_EQ(rig.form1Window.drags, 0);
    rig.form1.onMouseDown(form1::Label4, MouseButton::Left);
    rig.form1.onMouseDown(form1::Picture1, MouseButton::Left);
    EXPECT_EQ(rig.form1Window.drags, 2);
}

TEST(ChromeTest, WindowClosedFromOutsideCountsAsCancel) {
    UpdaterRig rig;
    rig.exitCodeOf([&] { rig.form1.Load(); });
    EXPECT_EQ(rig.exitCodeOf([&] { rig.form1Window.close(); }), updater::kExitCancelled);
    EXPECT_TRUE(rig.inet.cancelled);
}

}  // namespace
}  // namespace ombrix
