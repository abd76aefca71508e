// Toolkit windows with real GL contexts on the X server (skipped without $DISPLAY).
#include <gtest/gtest.h>

#include <cmath>

#include "gl_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

TEST(ToolkitGlTest, FrameAndDialogOpenWithContextStateAndClearColour) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow* frame = InitWithFrame(20, 20, 240, 160, kStyleMain);
    ASSERT_NE(frame, nullptr);
    gWindow* dialog = gWinCreateRec(60, 60, 120, 90, frame, nullptr, kStyleDialogFrame | kStyleSysMenu);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(gWinOpen(frame, "Frame", kStyleShown));
    ASSERT_TRUE(gWinOpen(dialog, "About", kStyleShown));
    gWinSetColors(dialog, 0x04102030);  // a literal colour: red 0x30, green 0x20, blue 0x10
    for (gWindow* window : {frame, dialog}) {
        ASSERT_NE(window->hglrc, nullptr);
        ASSERT_TRUE(gWinMakeCurrent(window));
        GLint doubleBuffer = 0;
        glGetIntegerv(GL_DOUBLEBUFFER, &doubleBuffer);
        EXPECT_TRUE(doubleBuffer);
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_FALSE(glIsEnabled(GL_DITHER));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
        GLint shade = 0;
        glGetIntegerv(GL_SHADE_MODEL, &shade);
        EXPECT_EQ(shade, GL_FLAT);
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], window->clientWidth);
        gWinPaint(window);
        EXPECT_TRUE(RgbNear(PixelAt(window, window->clientWidth / 2, window->clientHeight / 2), Background(window), 1));
        EXPECT_TRUE(platform::SwapBuffers(window->hdc));
    }
    EXPECT_NEAR(frame->colours.background[0], 72 / 127.0, 1e-6);
    EXPECT_NEAR(dialog->colours.background[0], 0x30 / 127.0, 1e-6);
    // A whole-window repaint hands the finished back buffer to the after-paint callback
    // before the swap: it reads the dialog's colour (0x30/127 red), not the frame's.
    struct Seen {
        int calls = 0;
        Rgb pixel{};
    } seen;
    gWinSetAfterPaint(
        dialog,
        [](gWindow* w, void* data) {
            auto* s = static_cast<Seen*>(data);
            ++s->calls;
            s->pixel = PixelAt(w, w->clientWidth / 2, w->clientHeight / 2);
        },
        &seen);
    dialog->dirty = 7;
    gWinRefreshAll();
    EXPECT_EQ(seen.calls, 1);
    EXPECT_NEAR(seen.pixel.r, std::round(0x30 * 255.0 / 127.0), 1.0);
    EXPECT_NEAR(seen.pixel.b, std::round(0x10 * 255.0 / 127.0), 1.0);
    gUiCloseQuiet(nullptr);
    gMessageLoop(0);
    EXPECT_EQ(gWinList(), nullptr);
    gShutdown();
    EXPECT_EQ(platform::LiveWindowCount(), 0u);
}

}  // namespace
}  // namespace orva
