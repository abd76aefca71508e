// The "Edit Shape..." panel in its window: the fields show the target's numbers and
// follow a change of target, typed values change the box and the apertures, the angle
// field drops angles too small to turn, and the fields and buttons are disabled as their
// rules say.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/panel_window.h"
#include "shapes/shape_test_support.h"
#include "shapes/shape_undo.h"
#include "shapes/ui/shape_panel.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/number_field.h"

namespace orva {
namespace {

using namespace testing_util;
using namespace shape_testing;

class ShapePanelWindow : public ContainerTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        parent = InitWithFrame(20, 20, 200, 200);
        ASSERT_NE(parent, nullptr);
        ASSERT_TRUE(OpenShown(parent, "Main"));
        ASSERT_TRUE(ShowEditShapePanel(parent));
        DispatchQueued();
        ASSERT_TRUE(ShapePanelShown());
        ASSERT_NE(ShapePanelSlot(kPanelAngle), nullptr);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        ResetEditShapePanel();
        CloseToolkit();
    }
    static gElement* Field(int32_t slot) { return ShapePanelSlot(slot); }
    static const std::string& Text(int32_t slot) { return Field(slot)->text; }
    static void Type(int32_t slot, const char* text) {
        gElement* f = Field(slot);
        gWgtSetText(f, text);
        ASSERT_NE(f->onChange, nullptr);
        f->onChange(f, f->handlerData);
    }
    static bool Enabled(int32_t slot) { return Field(slot)->enabled != 0; }

    gWindow* parent = nullptr;
};

TEST_F(ShapePanelWindow, ShowsTheTargetsNumbersAndFollowsItsChange) {
    Shape* s = Add(kKindRect, {0, 0, 12, 12.5f});
    s->header.offset.Reset();
    ShapePanelSetTarget(s);
    EXPECT_EQ(Text(kPanelX), "0");
    EXPECT_EQ(Text(kPanelY), "0");
    EXPECT_EQ(Text(kPanelW), "12");
    EXPECT_EQ(Text(kPanelH), "12.5");
    EXPECT_EQ(Text(kPanelAperture), "1");
    // Nothing selected: the first anchor.
    EXPECT_EQ(Text(kPanelAnchorIndex), "1");
    EXPECT_EQ(Text(kPanelAnchorX), "0");
    EXPECT_TRUE(Enabled(kPanelX));
    EXPECT_TRUE(Enabled(kPanelMove));
    EXPECT_TRUE(Enabled(kPanelRotate));
    Shape* t = Add(kKindRect, {30, 40, 50, 60});
    ShapePanelSetTarget(t);
    EXPECT_EQ(Text(kPanelX), "30");
    EXPECT_EQ(Text(kPanelH), "20");
    // No target: the fields disabled and showing 0, the buttons disabled.
    ShapePanelSetTarget(nullptr);
    EXPECT_EQ(Text(kPanelX), "0");
    EXPECT_FALSE(Enabled(kPanelX));
    EXPECT_FALSE(Enabled(kPanelAnchorY));
    EXPECT_FALSE(Enabled(kPanelMove));
    EXPECT_FALSE(Enabled(kPanelRotate));
}

TEST_F(ShapePanelWindow, TypedBoxAndApertures) {
    Shape* s = Add(kKindRect, {0, 0, 10, 10}, kRoleSlice);
    s->header.offset.Reset();
    ASSERT_TRUE(s->SetApertureChecked(5, kApertureCentred));
    ShapePanelSetTarget(s);
    Type(kPanelW, "20");
    EXPECT_DOUBLE_EQ(s->header.box.w, 20.0);
    EXPECT_EQ(Text(kPanelW), "20");
    // Not a number: the value shows again.
    Type(kPanelX, "abc");
    EXPECT_EQ(Text(kPanelX), "0");
    // An aperture typed 0 is read as 1.
    const uint32_t steps = box.undo.count;
    Type(kPanelAperture, "0");
    EXPECT_EQ(s->header.offset.Positive() + s->header.offset.Negative(), 1u);
    EXPECT_EQ(Text(kPanelAperture), "1");
    EXPECT_EQ(box.undo.count, steps + 1);
    EXPECT_EQ(box.undo.last->Code(), kUndoOffset);
    // A1 and A2: the two sides.
    Type(kPanelA1, "7");
    EXPECT_EQ(s->header.offset.Positive(), 7u);
    EXPECT_EQ(Text(kPanelA1), "7");
    Type(kPanelA2, "3.9");
    EXPECT_EQ(s->header.offset.Negative(), 3u);
    EXPECT_EQ(Text(kPanelA2), "3");
}

TEST_F(ShapePanelWindow, StepsAndAngle) {
    Shape* s = Add(kKindRect, {0, 0, 10, 20});
    ShapePanelSetTarget(s);
    EXPECT_EQ(Text(kPanelAngle), "0.1\xB0");
    Type(kPanelAngle, "0.0000001");
    EXPECT_EQ(TheShapeGlobals().panelAngle, 0.0f);
    EXPECT_EQ(Text(kPanelAngle), "0\xB0");
    EXPECT_FALSE(Enabled(kPanelRotate));
    Type(kPanelAngle, "90");
    EXPECT_TRUE(Enabled(kPanelRotate));
    Field(kPanelRotate)->onClick(Field(kPanelRotate), Field(kPanelRotate)->handlerData);
    EXPECT_NEAR(s->header.anchors.X(0), 15.0f, 1e-5);
    EXPECT_EQ(Text(kPanelX), "-5");
    // A zero step disables its button; both zero disable Move.
    Type(kPanelDx, "0");
    EXPECT_FALSE(Enabled(kPanelMoveX));
    EXPECT_TRUE(Enabled(kPanelMove));
    Type(kPanelDy, "0");
    EXPECT_FALSE(Enabled(kPanelMove));
    Type(kPanelDy, "2.5");
    EXPECT_EQ(TheShapeGlobals().panelMoveY, 2.5f);
    Field(kPanelMoveY)->onClick(Field(kPanelMoveY), Field(kPanelMoveY)->handlerData);
    EXPECT_EQ(Text(kPanelY), "7.5");
}

TEST_F(ShapePanelWindow, AShapeWithoutAnchorsShowsZeroDisabled) {
    Shape* s = CreateShape(kKindPolyLine);
    ASSERT_NE(s, nullptr);
    s->AddRef();
    ShapePanelSetTarget(s);
    EXPECT_EQ(Text(kPanelAnchorIndex), "0");
    EXPECT_EQ(Text(kPanelAnchorX), "0");
    EXPECT_EQ(Text(kPanelAnchorY), "0");
    EXPECT_FALSE(Enabled(kPanelAnchorIndex));
    EXPECT_FALSE(Enabled(kPanelAnchorX));
    EXPECT_TRUE(Enabled(kPanelX));
    ShapePanelSetTarget(nullptr);
    s->Release();
}

TEST_F(ShapePanelWindow, TheRadioItemsChooseOneScope) {
    EXPECT_EQ(Field(kPanelSelected)->value, 1u);
    EXPECT_EQ(Field(kPanelAll)->value, 0u);
    gElement* exclude = Field(kPanelExclude);
    exclude->onClick(exclude, exclude->handlerData);
    EXPECT_EQ(TheShapeGlobals().panelScope, kScopeExclude);
    EXPECT_EQ(Field(kPanelSelected)->value, 0u);
    EXPECT_EQ(exclude->value, 1u);
    exclude->onClick(exclude, exclude->handlerData);
    EXPECT_EQ(exclude->value, 1u) << "choosing the chosen one keeps it";
}

}  // namespace
}  // namespace orva
