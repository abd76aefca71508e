// The caret of the focused edit field on a real window (skipped without $DISPLAY): a
// press focuses a field and shows the caret at the text start, the blink timer hides and
// shows it, a selection turns it into a white line left of the caret, and a press on
// another field moves it there. Fields in a left and a right-hand slot.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "gl_test_support.h"
#include "platform/msg_types.h"
#include "toolkit/edit_field.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"

namespace orva {
namespace {

using namespace testing_util;

constexpr Rgb kCaret{255, 255, 127}, kWhite{255, 255, 255};

// Where the caret of a field stands on screen: the cell's screen-left edge, the text
// offset and the caret x (the cell of a right-hand slot is measured from the right).
float CaretScreenX(const gWindow* w, const gElement* e) {
    float left = (e->style & kWsRight) ? w->clientWidth - (e->x + e->cellWidth) : e->x;
    return left + e->textOffsetX + gWgtEdit(e)->caretX;
}

// Paints the window as every redraw does and reads a pixel of the back buffer.
Rgb Repainted(gWindow* w, float x, float y) {
    PaintWindow(w);
    return PixelAt(w, static_cast<int>(std::lround(x)), static_cast<int>(y));
}

TEST(EditCaretTest, PressBlinkSelectionAndFocusMove) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow* window = InitWithFrame(20, 20, 300, 120);
    ASSERT_NE(window, nullptr);
    gElement* fields[2] = {};
    const uint32_t corners[2] = {0x24000, 0x30000};   // top-left, top-right
    for (int c = 0; c < 2; ++c) {
        gWinCurrentSlot(window, corners[c] | kWsSlotFromWindow);
        gWgtTemplate t{.desc = {.kind = 6, .style = kWsSlotFromWindow | kWsLeft, .width = 80, .text = "abc"}};
        fields[c] = gWgtAdd(window, nullptr, &t, 0);
        ASSERT_NE(fields[c], nullptr);
        ASSERT_NE(gWgtEdit(fields[c]), nullptr);
        EXPECT_NE(gWgtEdit(fields[c])->caretPainter, nullptr);   // the skin's caret
    }
    ASSERT_TRUE(OpenShown(window, "Caret"));

    auto tick = [&] { gWinProc(window->hwnd, pf::kWmTimer, kCaretTimerId, 0); };
    for (int c = 0; c < 2; ++c) {
        gElement* e = fields[c];
        gEditState* s = gWgtEdit(e);
        const float mid = e->y + e->cellHeight / 2;
        // A press one pixel into the text: the caret at 0, the field focused.
        const float start = CaretScreenX(window, e) - s->caretX;
        gCursorPos = pf::Point{static_cast<int32_t>(start) + 1, static_cast<int32_t>(mid)};
        ASSERT_TRUE(gWinMakeCurrent(window));
        EXPECT_EQ(gWgtPress(window, e, true), 1) << c;
        EXPECT_EQ(std::tuple(gFocusWidget, s->caret), std::tuple(e, 0));
        const float x = CaretScreenX(window, e);
        EXPECT_TRUE(Near(Repainted(window, x, mid), kCaret, 1)) << "caret on, corner " << c;
        if (c == 1) {
            Rgb left = Repainted(window, CaretScreenX(window, fields[0]), fields[0]->y + fields[0]->cellHeight / 2);
            EXPECT_FALSE(Near(left, kCaret, 1)) << "the field that lost the focus keeps no caret";
        }
        tick();
        EXPECT_EQ(s->caretOn, 0);
        EXPECT_FALSE(Near(Repainted(window, x, mid), kCaret, 1)) << "blink off, corner " << c;
        tick();
        EXPECT_TRUE(Near(Repainted(window, x, mid), kCaret, 1)) << "blink on, corner " << c;
        // Everything selected: a white line just left of the caret, no yellow one.
        gWgtCaretToEnd(e, true);
        EXPECT_TRUE(Near(Repainted(window, x - 1, mid), kWhite, 1)) << "selecting caret, corner " << c;
        EXPECT_FALSE(Near(Repainted(window, x, mid), kCaret, 1)) << c;
        s->selection = 0;
        s->anchorX = s->caretX;
    }
    gFocusWidget = nullptr;
    gShutdown();
}

// Enter commits the field's edit; its change handler may close the field's window (a
// dialog ending on Enter), after which nothing touches the field.
int gChanges = 0;
TEST(EditCaretTest, AChangeHandlerThatClosesTheWindowOnEnter) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gChanges = 0;
    gWindow* window = InitWithFrame(20, 20, 200, 80);
    ASSERT_NE(window, nullptr);
    gWinCurrentSlot(window, 0x24000 | kWsSlotFromWindow);
    gWgtTemplate t{.desc = {.kind = 6, .style = kWsSlotFromWindow | kWsLeft, .width = 80, .text = "abc"}};
    gElement* e = gWgtAdd(window, nullptr, &t, 0);
    ASSERT_NE(e, nullptr);
    e->onChange = [](gElement* field, uintptr_t) {
        ++gChanges;
        gUiCloseQuiet(field->window);
    };
    ASSERT_TRUE(OpenShown(window, "Closing field"));
    gWgtEditBegin(e);
    gWgtCaretToEnd(e, false);
    gKeyDownEvent = gKeyEvent{0, 'x', 0};
    EXPECT_TRUE(gWgtOnChar(window, e));
    gKeyDownEvent = gKeyEvent{0, 13, 0};
    EXPECT_TRUE(gWgtOnChar(window, e));
    EXPECT_EQ(gChanges, 1);
    EXPECT_EQ(gWinValidate(window), nullptr);
    EXPECT_EQ(gFocusWidget, nullptr);
    gShutdown();
}

}  // namespace
}  // namespace orva
