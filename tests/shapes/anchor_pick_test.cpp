#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "shape_test_support.h"
#include "shapes/geometry/anchor_pick.h"
#include "toolkit/input.h"

namespace orva {
namespace {

using shape_testing::MakeShape;

class AnchorPickTest : public ::testing::Test {
protected:
    AnchorPickTest() { TheShapeGlobals().Reset(); }
    ~AnchorPickTest() override {
        for (Shape* s : shapes_) {
            s->AddRef();
            s->Release();
        }
        TheShapeGlobals().Reset();
    }
    Shape* Make(std::initializer_list<float> xy) {
        Shape* s = MakeShape(kKindPolyLine, xy);
        shapes_.push_back(s);
        return s;
    }
    // The selection bytes as "1" and "0", then the count and the current anchor.
    static std::string State(const Shape* s) {
        std::string out;
        const AnchorBuffer& a = s->header.anchors;
        for (uint32_t i = 0; i < a.Count(); ++i) out += a.Selection()[i] ? '1' : '0';
        return out + " " + std::to_string(a.selectedCount) + " " + std::to_string(a.lastSelected);
    }
    std::vector<Shape*> shapes_;
};

TEST_F(AnchorPickTest, ClicksSelectByTheirModifiers) {
    Shape* s = Make({10, 10, 20, 10, 30, 10, 40, 10});
    s->SelectAllAnchors(false);
    struct Click {
        float x;
        uint32_t modifiers;
        int32_t result;
        const char* state;
    } clicks[] = {
        {21.5f, 0, 1, "0100 1 1"},            // plain: that anchor alone
        {33.9f, 0, 1, "0010 1 2"},            // within 4 pixels
        {10, kKeyAlt, 1, "1010 2 0"},         // Alt adds
        {39, kKeyAltL, 1, "1011 3 3"},
        {30, kKeyShift, 1, "1001 2 3"},       // Shift toggles off: current the last selected
        {20, kKeyShiftR, 1, "1101 3 1"},      // and on
        // Shift+Ctrl with some selected: the trailing run goes, the anchor before it
        // is selected and current, those before that flip.
        {20, kKeyShift | kKeyCtrl, 1, "0010 1 2"},
        {20, kKeyShift | kKeyCtrl, 1, "1101 3 3"},
        {45, 0, 0, "0000 0 3"},               // nothing there: the selection goes
        {20, kKeyShift | kKeyCtrl, 1, "1111 -1 1"},  // none becomes all
        {40, kKeyShift, 1, "1110 3 2"},       // one off "all": its neighbour is current
        {20, kKeyShift | kKeyCtrl, 1, "0001 1 3"},
        {20, kKeyShift | kKeyCtrl | kKeyAlt, 1, "0101 2 1"},  // Alt adds, whatever else is held
    };
    for (const Click& c : clicks) {
        SCOPED_TRACE(::testing::Message() << c.x << " with " << std::hex << c.modifiers);
        EXPECT_EQ(PickAnchor(s, c.x, 10, c.modifiers), c.result);
        EXPECT_EQ(State(s), c.state);
    }
    // A zoomed view: the mouse is in window pixels, the pick box ±4 of them.
    shape_testing::TestView view;
    view.originX = 100;
    view.displayOffsetX = 20;
    view.zoom = {1, 0.5, 0.5};
    s->view = &view;
    s->SelectAllAnchors(false);
    EXPECT_EQ(PickAnchor(s, 120 + 2 * 30 + 3, 20 + 3, 0), 1);  // data (31.5, 11.5)
    EXPECT_EQ(State(s), "0010 1 2");
    EXPECT_EQ(PickAnchor(s, 120 + 2 * 30 + 9, 20, 0), 0);  // 4.5 data units off
    s->view = nullptr;
}

TEST_F(AnchorPickTest, RotationDragsTurnAnchorsWithThePointer) {
    const double pivot[2] = {100, 50};
    struct Drag {
        float toX, toY;
        uint32_t modifiers;
        bool invert;
        double wantX, wantY;
    } drags[] = {
        {0, 10, 0, false, 0, 10},  // a quarter turn follows the pointer
        {-7, -7, 0, false, -7.0710678118654755, -7.0710678118654755},
        {static_cast<float>(10 * std::cos(55 * M_PI / 180)), static_cast<float>(10 * std::sin(55 * M_PI / 180)),
         kKeyShift, false, 7.0710678118654755, 7.0710678118654755},  // snapped to 45 degrees
        {static_cast<float>(10 * std::cos(20 * M_PI / 180)), static_cast<float>(10 * std::sin(20 * M_PI / 180)),
         kKeyShift, false, 10, 0},  // less than 22.5: no turn
        {static_cast<float>(10 * std::cos(-55 * M_PI / 180)), static_cast<float>(10 * std::sin(-55 * M_PI / 180)),
         0, true, 7.0710678118654755, -7.0710678118654755},  // the tool snaps without Shift
    };
    for (const Drag& d : drags) {
        SCOPED_TRACE(::testing::Message() << d.toX << "," << d.toY);
        Shape* s = Make({110, 50, 100, 40});
        shape_testing::TestItem item;
        s->items.Add(&item);
        s->header.pivotX = pivot[0];
        s->header.pivotY = pivot[1];
        s->header.pivotPinned = 1;
        s->header.anchors.SelectAll(false);
        s->header.anchors.Selection()[0] = 1;
        s->header.anchors.selectedCount = 1;
        s->BeginEdit();
        RotateDrag drag;
        drag.shape = s;
        drag.startX = 110;
        drag.startY = 50;
        drag.mouseX = static_cast<float>(pivot[0] + d.toX);
        drag.mouseY = static_cast<float>(pivot[1] + d.toY);
        drag.modifiers = d.modifiers;
        drag.invertSnap = d.invert;
        RotateDragHandler(&drag);
        EXPECT_NEAR(s->header.anchors.X(0), pivot[0] + d.wantX, 1e-4);
        EXPECT_NEAR(s->header.anchors.Y(0), pivot[1] + d.wantY, 1e-4);
        // The anchor that is not selected stays; the shape was updated and its items restarted.
        EXPECT_EQ(s->header.anchors.X(1), 100.0f);
        EXPECT_EQ(s->header.anchors.Y(1), 40.0f);
        EXPECT_EQ(s->header.box.x, std::min<double>(100.0f, s->header.anchors.X(0)));
        EXPECT_EQ(item.restarts, 1);
        s->items.ReleaseAll();
    }
}

}  // namespace
}  // namespace orva
