// The toolbar's rules without a window: what lights up, what a click opens, when Run refuses.
#include "frontend/toolbar.h"

#include <gtest/gtest.h>

namespace orvet {
namespace {

float CentreX(const FrontEnd& frontEnd, int button) {
    return (frontEnd.buttons[button].left + frontEnd.buttons[button].right) / 2;
}

TEST(ToolbarTest, ClicksOpenToolsRunAndQuitAsTheButtonsSay) {
    FrontEnd frontEnd;
    LayoutToolbar(frontEnd, 1280);
    const float y = kToolbarHeight / 2;
    ASSERT_TRUE(SwitchTool(frontEnd, frontEnd.lastTool));  // the machine starts stopped

    // A tool button opens its tool and becomes the one that comes back; both it and the
    // hovered button are lit, nothing else.
    ToolbarMouseMove(frontEnd, CentreX(frontEnd, kToolOptions), y);
    EXPECT_EQ(ToolbarRelease(frontEnd, CentreX(frontEnd, kToolOptions), y, true),
              ToolbarRequest::None);
    EXPECT_EQ(frontEnd.currentTool, kToolOptions);
    EXPECT_EQ(frontEnd.lastTool, kToolOptions);
    ToolbarMouseMove(frontEnd, CentreX(frontEnd, kToolDebugger), y);
    for (int button = 0; button < kToolbarButtonCount; ++button) {
        EXPECT_EQ(frontEnd.highlighted(button), button == kToolOptions || button == kToolDebugger)
            << button;
    }
    EXPECT_FALSE(SwitchTool(frontEnd, kToolOptions)) << "the open tool is not reopened";

    // Run without a TOS image changes nothing and asks for the message.
    ToolbarMouseMove(frontEnd, CentreX(frontEnd, kButtonRun), y);
    EXPECT_EQ(ToolbarRelease(frontEnd, CentreX(frontEnd, kButtonRun), y, false),
              ToolbarRequest::CannotRun);
    EXPECT_EQ(frontEnd.currentTool, kToolOptions);

    // Quit asks; whatever the answer, the pointer is taken to (0, 0), where no button lies.
    ToolbarMouseMove(frontEnd, CentreX(frontEnd, kButtonQuit), y);
    EXPECT_EQ(ToolbarRelease(frontEnd, CentreX(frontEnd, kButtonQuit), y, true),
              ToolbarRequest::AskQuit);
    ToolbarQuitAnswered(frontEnd);
    EXPECT_EQ(frontEnd.hoveredButton, -1);

    // Run with a TOS image closes the front end; F12 brings back the last tool chosen.
    ToolbarMouseMove(frontEnd, CentreX(frontEnd, kButtonRun), y);
    EXPECT_EQ(ToolbarRelease(frontEnd, CentreX(frontEnd, kButtonRun), y, true),
              ToolbarRequest::Run);
    EXPECT_FALSE(frontEnd.open());
    EXPECT_EQ(frontEnd.hoveredButton, -1);
    EXPECT_TRUE(SwitchTool(frontEnd, frontEnd.lastTool));
    EXPECT_EQ(frontEnd.currentTool, kToolOptions);

    // A release away from every button does nothing.
    EXPECT_EQ(ToolbarRelease(frontEnd, 640, 400, true), ToolbarRequest::None);
    EXPECT_EQ(frontEnd.currentTool, kToolOptions);
}

TEST(ToolbarTest, ButtonsNeverOverlapHoweverNarrowTheStrip) {
    for (float width : {1280.0f, 800.0f, 300.0f}) {
        FrontEnd frontEnd;
        LayoutToolbar(frontEnd, width);
        for (int button = 1; button < kToolbarButtonCount; ++button) {
            EXPECT_GE(frontEnd.buttons[button].left, frontEnd.buttons[button - 1].right)
                << "width " << width << " button " << button;
        }
    }
}

}  // namespace
}  // namespace orvet
