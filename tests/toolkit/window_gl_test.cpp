// Toolkit windows with real GL contexts on the X server (skipped without $DISPLAY).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gl_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

// A frame window and a dialog it owns, both shown.
void OpenFrameAndDialog(gWindow** frame, gWindow** dialog) {
    *frame = InitWithFrame(20, 20, 240, 160, kStyleMain);
    ASSERT_NE(*frame, nullptr);
    *dialog = gWinCreateRec(60, 60, 120, 90, *frame, nullptr, kStyleDialogFrame | kStyleSysMenu);
    ASSERT_NE(*dialog, nullptr);
    ASSERT_TRUE(gWinOpen(*frame, "Frame", kStyleShown));
    ASSERT_TRUE(gWinOpen(*dialog, "About", kStyleShown));
}

TEST(ToolkitGlTest, FrameAndDialogOpenWithContextStateAndClearColour) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow *frame = nullptr, *dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenFrameAndDialog(&frame, &dialog));
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

// Windows of one pixel format draw through one context; each keeps its own viewport and
// matrices, as if it had a context of its own, and the context stays while any window has it.
TEST(ToolkitGlTest, WindowsShareOneContextAndKeepTheirOwnViewportAndMatrices) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow *frame = nullptr, *dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenFrameAndDialog(&frame, &dialog));
    ASSERT_NE(frame->hglrc, nullptr);
    EXPECT_EQ(frame->hglrc, dialog->hglrc);
    const auto viewport = [] {
        GLint v[4] = {};
        glGetIntegerv(GL_VIEWPORT, v);
        return std::vector<GLint>(v, v + 4);
    };
    const auto matrix = [](GLenum which) {
        GLfloat m[16] = {};
        glGetFloatv(which, m);
        return std::vector<GLfloat>(m, m + 16);
    };
    ASSERT_TRUE(gWinMakeCurrent(frame));
    glViewport(5, 6, 70, 80);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 70, 80, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(3, 4, 0);
    const std::vector<GLfloat> frameProjection = matrix(GL_PROJECTION_MATRIX);
    const std::vector<GLfloat> frameModelview = matrix(GL_MODELVIEW_MATRIX);

    ASSERT_TRUE(gWinMakeCurrent(dialog));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, dialog->clientWidth, 0, dialog->clientHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glViewport(0, 0, dialog->clientWidth, dialog->clientHeight);
    const std::vector<GLfloat> dialogProjection = matrix(GL_PROJECTION_MATRIX);
    const std::vector<GLfloat> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), identity);

    ASSERT_TRUE(gWinMakeCurrent(frame));
    EXPECT_EQ(viewport(), (std::vector<GLint>{5, 6, 70, 80}));
    EXPECT_EQ(matrix(GL_PROJECTION_MATRIX), frameProjection);
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), frameModelview);
    ASSERT_TRUE(gWinMakeCurrent(dialog));
    EXPECT_EQ(viewport(), (std::vector<GLint>{0, 0, dialog->clientWidth, dialog->clientHeight}));
    EXPECT_EQ(matrix(GL_PROJECTION_MATRIX), dialogProjection);
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), identity);

    // The dialog goes; the frame still draws, through the same context.
    const platform::GlContext shared = frame->hglrc;
    gWinRelease(dialog);
    PumpFor(50);
    ASSERT_TRUE(gWinMakeCurrent(frame));
    EXPECT_EQ(platform::CurrentGlContext(), shared);
    glViewport(0, 0, frame->clientWidth, frame->clientHeight);
    gWinPaint(frame);
    EXPECT_TRUE(RgbNear(PixelAt(frame, frame->clientWidth / 2, frame->clientHeight / 2), Background(frame), 1));
    gUiCloseQuiet(nullptr);
    gMessageLoop(0);
    EXPECT_EQ(gWinList(), nullptr);
    gShutdown();
    EXPECT_EQ(platform::LiveWindowCount(), 0u);
}

}  // namespace
}  // namespace orva
