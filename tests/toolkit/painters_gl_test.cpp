// A window built from descriptors with widgets in all four corners, painted with the
// "Default" skin on a real GL context (skipped without $DISPLAY); pixels are read back
// from the back buffer before the swap.
#include <gtest/gtest.h>

#include <tuple>

#include "gl_test_support.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"

namespace orva {
namespace {

using namespace testing_util;

// The pixel at a point of an element's corner frame against a 7-bit shade.
void ExpectShade(gWindow* window, const gElement* e, float fx, float fy, const uint8_t shade[3], const char* what,
                 int corner) {
    EXPECT_TRUE(RgbNear(WidgetPixel(window, e, fx, fy), Shade(shade))) << what << " corner " << corner;
}

gElement* Add(gWindow* window, int32_t kind, const char* text, float width = -1, float height = -1) {
    // Any slot bit: the window's slot is taken.
    gWgtTemplate t{.desc = {.kind = kind, .style = kWsSlotFromWindow | kWsLeft, .width = width, .height = height,
                            .text = text}};
    return gWgtAdd(window, nullptr, &t, 0);
}

TEST(PaintersGlTest, CornersShowTheSkinsFramesAndFaces) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow* window = InitWithFrame(30, 30, 320, 240);
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
    ASSERT_TRUE(OpenShown(window, "Skin"));
    PaintWindow(window);
    const auto& shades = window->colours.backShades;
    for (int c = 0; c < 4; ++c) {
        gElement* button = made[c][0];
        EXPECT_EQ(button->style & kWsSlotBits, corners[c]);
        // Button: the outer frame in B(2); the face's centre in W(4) of its colour.
        const float buttonMid = button->y + button->cellHeight / 2;
        ExpectShade(window, button, button->x, buttonMid, shades[2], "button frame", c);
        uint8_t face[11][3];
        gColorShadesInto(face, window->colours.shadeParameters, button->color1);
        ExpectShade(window, button, button->x + button->cellWidth / 2, buttonMid, face[4], "button face", c);
        // Raised frame: A = B(6) on its x0 edge, B = B(2) on its x1 edge, filled with B(4).
        gElement* raised = made[c][1];
        float mid = raised->y + raised->cellHeight / 2;
        ExpectShade(window, raised, raised->x, mid, shades[6], "raised x0", c);
        ExpectShade(window, raised, raised->x + raised->cellWidth - 1, mid, shades[2], "raised x1", c);
        ExpectShade(window, raised, raised->x + 10, mid, shades[4], "raised fill", c);
        // Check box with value 0: a horizontal bar in B(7).
        gElement* box = made[c][2];
        float s = box->width;
        ExpectShade(window, box, box->x + 4, box->y + s / 2 - 1, shades[7], "check bar", c);
        // Edit field: sunken, filled with B(4).
        gElement* edit = made[c][3];
        ExpectShade(window, edit, edit->x + edit->cellWidth / 2, edit->y + edit->cellHeight / 2, shades[4], "edit fill",
                    c);
    }
    EXPECT_TRUE(platform::SwapBuffers(window->hdc));

    // In picking mode every painter covers its whole cell with the current colour.
    gSetPicking(true);
    gWinSetProjection(window, made[0][4]->style);
    glColor3f(1, 0, 0);
    made[0][4]->paint(made[0][4]);
    gSetPicking(false);
    Rgb picked = WidgetPixel(window, made[0][4], made[0][4]->x + 1, made[0][4]->y + 1);
    EXPECT_EQ(std::tuple(picked.r, picked.g), std::tuple(255, 0));

    // Resizing keeps the right and bottom slots at their distance from the edges.
    ASSERT_TRUE(gWinSetSize(window, 400, 300, nullptr));
    for (int i = 0; i < 20 && window->clientWidth != 400; ++i) {
        PumpFor(10);
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
        ExpectShade(window, raised, raised->x, mid, shades[6], "raised x0 after resize", c);
        ExpectShade(window, raised, raised->x + 10, mid, shades[4], "raised fill after resize", c);
    }
    platform::SwapBuffers(window->hdc);
    CloseToolkit();
}

}  // namespace
}  // namespace orva
