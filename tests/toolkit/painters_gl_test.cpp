// A window built from descriptors with widgets in all four corners, painted with the
// "Default" skin on a real GL context (skipped without $DISPLAY); pixels are read back
// from the back buffer before the swap.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

struct Pixel {
    int r, g, b;
};

// The window pixel of a point of a corner frame.
Pixel Read(gWindow* window, const gElement* e, float fx, float fy) {
    int x = static_cast<int>(std::floor(fx)), y = static_cast<int>(std::floor(fy));
    int col = (e->style & kWsRight) ? window->clientWidth - 1 - x : x;
    int row = (e->style & kWsBottom) ? y : window->clientHeight - 1 - y;
    unsigned char p[3] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(col, row, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

// A 7-bit shade entry as the 8-bit value glColor3b gives.
Pixel Shade(const uint8_t rgb[3]) {
    auto v = [](int c) { return static_cast<int>(std::lround(c * 255.0 / 127.0)); };
    return {v(rgb[0]), v(rgb[1]), v(rgb[2])};
}

void ExpectNear(Pixel got, Pixel want, const char* what, int corner) {
    EXPECT_NEAR(got.r, want.r, 2) << what << " corner " << corner;
    EXPECT_NEAR(got.g, want.g, 2) << what << " corner " << corner;
    EXPECT_NEAR(got.b, want.b, 2) << what << " corner " << corner;
}

gElement* Add(gWindow* window, int32_t kind, const char* text, float width = -1, float height = -1) {
    gWgtTemplate t;
    t.desc.kind = kind;
    t.desc.style = kWsSlotFromWindow | kWsLeft;  // any slot bit: the window's slot is taken
    t.desc.text = text;
    t.desc.width = width;
    t.desc.height = height;
    return gWgtAdd(window, nullptr, &t, 0);
}

void Pump() {
    platform::Msg msg;
    for (int i = 0; i < 50 && platform::PeekMessage(&msg, true); ++i) platform::DispatchMessage(&msg);
}

TEST(PaintersGlTest, CornersShowTheSkinsFramesAndFaces) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    ASSERT_NE(gInit(), nullptr);
    gWindow* window = gWinCreateRec(30, 30, 320, 240, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    ASSERT_NE(window, nullptr);
    const uint32_t corners[4] = {0x24000, 0x30000, 0x84000, 0x90000};
    gElement* made[4][5] = {};
    for (int c = 0; c < 4; ++c) {
        gWinCurrentSlot(window, corners[c] | kWsSlotFromWindow);
        made[c][0] = Add(window, 37, nullptr, 40);     // button
        made[c][1] = Add(window, 8, nullptr, 30, 20);  // raised frame
        made[c][2] = Add(window, 2, nullptr);          // check box
        made[c][3] = Add(window, 6, nullptr, 40);      // edit field
        made[c][4] = Add(window, 3, "Label");          // text only
        for (gElement* e : made[c]) ASSERT_NE(e, nullptr);
    }
    ASSERT_TRUE(gWinOpen(window, "Skin", kStyleShown));
    Pump();
    ASSERT_TRUE(gWinMakeCurrent(window));
    glViewport(0, 0, window->clientWidth, window->clientHeight);
    gWinPaint(window);
    const auto& shades = window->colours.backShades;
    for (int c = 0; c < 4; ++c) {
        gElement* button = made[c][0];
        EXPECT_EQ(button->style & kWsSlotBits, corners[c]);
        // Button: the outer frame in B(2); the face's centre in W(4) of its colour.
        ExpectNear(Read(window, button, button->x, button->y + button->cellHeight / 2), Shade(shades[2]),
                   "button frame", c);
        uint8_t face[11][3];
        gColorShadesInto(face, window->colours.shadeParameters, button->color1);
        ExpectNear(Read(window, button, button->x + button->cellWidth / 2, button->y + button->cellHeight / 2),
                   Shade(face[4]), "button face", c);
        // Raised frame: A = B(6) on its x0 edge, B = B(2) on its x1 edge, filled with B(4).
        gElement* raised = made[c][1];
        float mid = raised->y + raised->cellHeight / 2;
        ExpectNear(Read(window, raised, raised->x, mid), Shade(shades[6]), "raised x0", c);
        ExpectNear(Read(window, raised, raised->x + raised->cellWidth - 1, mid), Shade(shades[2]), "raised x1", c);
        ExpectNear(Read(window, raised, raised->x + 10, mid), Shade(shades[4]), "raised fill", c);
        // Check box with value 0: a horizontal bar in B(7).
        gElement* box = made[c][2];
        float s = box->width;
        ExpectNear(Read(window, box, box->x + 4, box->y + s / 2 - 1), Shade(shades[7]), "check bar", c);
        // Edit field: sunken, filled with B(4).
        gElement* edit = made[c][3];
        ExpectNear(Read(window, edit, edit->x + edit->cellWidth / 2, edit->y + edit->cellHeight / 2),
                   Shade(shades[4]), "edit fill", c);
    }
    EXPECT_TRUE(platform::SwapBuffers(window->hdc));

    // In picking mode every painter covers its whole cell with the current colour.
    gSetPicking(true);
    gWinSetProjection(window, made[0][4]->style);
    glColor3f(1, 0, 0);
    made[0][4]->paint(made[0][4]);
    gSetPicking(false);
    Pixel picked = Read(window, made[0][4], made[0][4]->x + 1, made[0][4]->y + 1);
    EXPECT_EQ(picked.r, 255);
    EXPECT_EQ(picked.g, 0);

    // Resizing keeps the right and bottom slots at their distance from the edges.
    ASSERT_TRUE(gWinSetSize(window, 400, 300, nullptr));
    for (int i = 0; i < 20 && window->clientWidth != 400; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        Pump();
    }
    ASSERT_EQ(window->clientWidth, 400);
    ASSERT_EQ(window->clientHeight, 300);
    // The GL drawable follows the new size once the context is bound again after a swap.
    platform::SwapBuffers(window->hdc);
    platform::MakeGlCurrent(nullptr, nullptr);
    ASSERT_TRUE(gWinMakeCurrent(window));
    glViewport(0, 0, 400, 300);
    gWinPaint(window);
    for (int c = 1; c < 4; ++c) {
        gElement* raised = made[c][1];
        float mid = raised->y + raised->cellHeight / 2;
        ExpectNear(Read(window, raised, raised->x, mid), Shade(shades[6]), "raised x0 after resize", c);
        ExpectNear(Read(window, raised, raised->x + 10, mid), Shade(shades[4]), "raised fill after resize", c);
    }
    platform::SwapBuffers(window->hdc);
    gUiCloseQuiet(nullptr);
    gMessageLoop(0);
    gShutdown();
}

}  // namespace
}  // namespace orva
