// Widgets built from descriptors on the recording backend: normalisation, the skin's
// parts, validity, removal and the failure paths.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "fake_window_fixture.h"
#include "test_support.h"
#include "toolkit/painters.h"
#include "toolkit/widget_props.h"

namespace orva {
namespace {

using namespace testing_util;

class WidgetTest : public FakeWindowTest {};

TEST(WidgetNormTest, StyleAndTextAlignment) {
    struct Case {
        uint32_t in, out;
    };
    const Case styles[] = {
        {0x8000, 0x28000},                         // centre alone: top added, no corner
        {0xC000, 0x24000},                         // left wins over centre, top added
        {0x94000, 0x84000},                        // left + right + bottom: left bottom
        {0x60000, 0x24000},                        // top wins over middle; left added
        {0x3000000, 0x1000000},                    // "after" wins over "before"
        {0x4000000 | 0x80000000u, 0x4000000},      // unknown high bit dropped
        {0x40 | 0x20000 | 0x10000, 0x30040},       // new-row bit kept
    };
    for (const Case& c : styles) EXPECT_EQ(gWgtNormStyle(c.in), c.out) << std::hex << c.in;
    EXPECT_EQ(gSlotIndex(gWgtNormStyle(0x8000)), -1);
    EXPECT_EQ(std::tuple(gSlotIndex(0x24000), gSlotIndex(0x30000), gSlotIndex(0x84000), gSlotIndex(0x90000)),
              std::tuple(0, 1, 2, 3));
    const Case aligns[] = {
        {0x7, 0x3},          // left keeps 2 beside it; 4 dropped
        {0x805, 0x801},      // with 0x800 the left bit stays alone
        {0xC, 0x4},
        {0x300, 0x100},
        {0xC000, 0x4000},
        {0xA0000, 0x20000},
        {0x44000, 0x44000},  // one of each vertical group
        {0x40000000, 0},
    };
    for (const Case& c : aligns) EXPECT_EQ(gWgtNormTextAlign(c.in), c.out) << std::hex << c.in;
}

TEST_F(WidgetTest, AddWithoutTemplateAndRejectedTemplates) {
    gElement* box = gWgtAdd(window, nullptr, nullptr, 0);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(std::tuple(box->kind, box->onClick, box->paintImpl), std::tuple(2, &gWgtToggleLinked, &gPaintCheckBox));
    EXPECT_EQ(std::tuple(box->width, box->cellWidth), std::tuple(12.0f, 12.0f));
    EXPECT_FLOAT_EQ(box->x, 4.0f);  // the kind's origin offset; no slot, so no group
    EXPECT_EQ(std::tuple(box->style & 0x6000000u, box->container), std::tuple(0x2000000u, box));
    EXPECT_TRUE(box->shown && box->enabled && box->partial);
    EXPECT_EQ(std::tuple(window->widgets.head, window->widgets.count), std::tuple(box, 1));

    gWgtTemplate bad = Template(36, 0);
    bad.one = 2;
    EXPECT_EQ(gWgtAdd(window, nullptr, &bad, 0), nullptr);
    gWgtTemplate noPaint = Template(0, 0);
    EXPECT_EQ(gWgtAdd(window, nullptr, &noPaint, 0), nullptr);
    // Kind 0 with a paint function of its own: no parts, default size.
    gWgtTemplate own = Template(0, 0x24000);
    own.desc.paint = gPaintRaisedPlain;
    own.desc.width = -3;
    own.desc.cellWidth = 4;
    gElement* plain = gWgtAdd(window, nullptr, &own, 0);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(std::tuple(plain->width, plain->cellWidth), std::tuple(15.0f, 15.0f));
    EXPECT_EQ(std::tuple(window->widgets.count, plain->serial), std::tuple(2, box->serial + 1));
}

class ManyParts : public gSkinObject {
public:
    explicit ManyParts(size_t n) : records(n, *gSkinGet()->StyleForKind(37)), pointers(n) {
        for (size_t i = 0; i < n; ++i) pointers[i] = &records[i];
    }
    size_t PartsForKind(int32_t, const gStyleRecord* const** parts) const override {
        *parts = pointers.data();
        return pointers.size();
    }
    std::vector<gStyleRecord> records;
    std::vector<const gStyleRecord*> pointers;
};

TEST_F(WidgetTest, PartListsAreCappedAt1024) {
    ManyParts parts(1500);
    window->skinObject = &parts;
    gWgtTemplate t = Template(37, 0x24000, "OK");
    gElement* first = gWgtAdd(window, nullptr, &t, 0);
    window->skinObject = nullptr;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::tuple(window->widgets.count, window->widgets.head), std::tuple(1024, first));
    // Automatic width from the text: 2 x 6 + twice the inset of 4.
    EXPECT_EQ(std::tuple(first->width, first->height), std::tuple(20.0f, 15.0f));
}

TEST_F(WidgetTest, FailedDescriptorIsLogged) {
    ProgramLogCapture log;
    gWgtTemplate broken = Template(37, 0x24000, "x");
    broken.desc.offsetX = std::nanf("");
    EXPECT_EQ(gWgtAdd(window, nullptr, &broken, 0), nullptr);
    gWgtTemplate rejected = Template(37, 0);
    rejected.one = 0;
    EXPECT_EQ(gWgtAdd(window, nullptr, &rejected, 0), nullptr);  // refused silently
    EXPECT_EQ(log.Text(), "gWgtAdd(), exeption...\n");
    EXPECT_EQ(window->widgets.count, 0);

    gElement* ok = gWgtAdd(window, nullptr, nullptr, 0);
    gElement* list[3] = {ok, ok, nullptr};
    EXPECT_FALSE(__gWgt_check_array(list, 0));
    EXPECT_FALSE(__gWgt_check_array(list, 65537));
    EXPECT_TRUE(__gWgt_check_array(list, 2));
    EXPECT_FALSE(__gWgt_check_array(list, 3));
    EXPECT_EQ(log.Text(), "Can't create gliphs\n");
}

TEST_F(WidgetTest, ValidityAgainstTheLiveRegistry) {
    EXPECT_EQ(gWgtCheck(nullptr), -1);
    gElement* a = Add(37, 0x24000, "A");
    gElement* b = Add(37, 0x24000, "A");
    gElement* c = Add(37, 0x24000, "A");
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(gWgtCheck(b), 1);
    EXPECT_TRUE(gWgtValid(c));
    gElement stray;
    EXPECT_EQ(gWgtCheck(&stray), -2);  // a record without an owner window
    // Cut the whole run out of the chain: the widgets live on but are found nowhere.
    ASSERT_TRUE(gWgtRemoveMatching(a, c));
    EXPECT_EQ(window->widgets.head, nullptr);
    EXPECT_EQ(gWgtCheck(b), 0);
    EXPECT_EQ(b->row, nullptr);
    gWgtDestroy(c);
    gWgtDestroy(b);
    gWgtDestroy(a);
    EXPECT_FALSE(gWgtIsLive(a));
    EXPECT_EQ(gWgtCheck(a), -1);  // destroyed: not a widget any more

    gElement* d = Add(37, 0x24000, "A");
    gElement* e = Add(37, 0x24000, "A");
    gWgtRemove(d, true);
    EXPECT_EQ(std::tuple(window->widgets.head, e->prev), std::tuple(e, nullptr));
    EXPECT_EQ(gWgtCheck(e), 1);
    EXPECT_EQ(window->widgets.count, 1);
}

// A widget cut out of its window and kept (as a removed shape's glyph is, for undo) may
// be destroyed after its window went: there is no chain left to take it out of.
TEST_F(WidgetTest, AWidgetCutOutOutlivesItsWindow) {
    gElement* kept = Add(37, 0x24000, "A");
    gElement* listed = Add(37, 0x24000, "B");
    ASSERT_TRUE(kept && listed);
    ASSERT_TRUE(gWgtRemoveMatching(kept, kept));
    EXPECT_EQ(window->widgets.head, listed);
    gWindow* gone = window;
    EXPECT_TRUE(gWinRecordLive(gone));
    gWinDestroyAll();
    window = nullptr;
    EXPECT_FALSE(gWinRecordLive(gone));
    EXPECT_FALSE(gWgtIsLive(listed));  // went with the window
    ASSERT_TRUE(gWgtIsLive(kept));
    gWgtDestroy(kept);
    EXPECT_FALSE(gWgtIsLive(kept));
}

void Click(gElement*, uintptr_t) {}
void Other(gElement*, uintptr_t) {}
int gReleased = 0;
void Release(uintptr_t data) { gReleased += static_cast<int>(data); }

TEST_F(WidgetTest, HandlersSubPanelAndToggle) {
    gElement* panel = Add(8, 0x24000, "Panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(gWinLastWidget(window), panel);
    gWgtSetHandler1(nullptr, Click, 5);  // the last created top-level widget
    gWgtSetHandler1(panel, Other, 9);    // kept: fields are filled only when empty
    EXPECT_EQ(std::tuple(panel->onClick, panel->handlerData), std::tuple(&Click, 5u));
    gWgtSetHandler3(panel, Other, Release, 1);
    EXPECT_EQ(panel->releaseData, &Release);
    // A kind-2 child made under the panel toggles the panel's visibility.
    gElement* toggle = gWgtAdd(window, panel, nullptr, 0);
    ASSERT_NE(toggle, nullptr);
    EXPECT_EQ(std::tuple(toggle->prevChild, toggle->container, panel->nextChild), std::tuple(panel, panel, toggle));
    EXPECT_EQ(gWgtCheck(toggle), 1);
    toggle->value = 1;
    toggle->onClick(toggle, 0);
    EXPECT_EQ(panel->shown, 0);
    toggle->value = 0;
    toggle->onClick(toggle, 0);
    EXPECT_EQ(panel->shown, 1);
    gReleased = 0;
    gWgtRemove(panel, true);  // children go with their container
    EXPECT_EQ(gReleased, 5);
    EXPECT_FALSE(gWgtIsLive(toggle));
}

TEST_F(WidgetTest, SizeCodesFlagWordsAndChainMoves) {
    // Not placed; the width is the height's.
    WidgetDesc d{.style = 0x40000000, .width = -3, .height = 20, .scaleX = 2};
    gElement* a = gWgtCreate(window, nullptr, nullptr, &d, 0);
    gElement* b = gWgtCreate(window, nullptr, nullptr, &d, 0);   // the same descriptor again
    ASSERT_TRUE(a != nullptr && b != nullptr);
    EXPECT_TRUE(a->width == 40 && b->width == 40 && b->cellWidth == 40 && b->height == 20);
    gWgtMoveChain(nullptr, 7, 9);   // the current window's first widget
    EXPECT_TRUE(a->x == 7 && a->homeY == 9);

    // The read-only bit of new widgets: the window's flag pairs and forced masks.
    auto readOnly = [&](int32_t kind) {
        gElement* e = Add(kind, 0x24000, "x");
        return e != nullptr && (e->style & kWsReadOnly) != 0;
    };
    EXPECT_EQ(gWinSetStyleBits(window, 0x8, false), 0u);
    EXPECT_TRUE(readOnly(3));
    EXPECT_EQ(gWinSetStyleBits(window, 0x800, false), 0x8u);
    EXPECT_FALSE(readOnly(3));
    EXPECT_EQ(gWinSetStyleBits(window, 0x808, false), 0x800u);   // the partner in the request is dropped
    EXPECT_EQ(gWinSlotTable(window)->readOnlyMask, 0x8u);
    gWinSetFlagA(window, kWsReadOnly | 1);
    EXPECT_TRUE(readOnly(37));
    EXPECT_EQ(gToolkitForcedDefaults()[0], kWsReadOnly);
    gWinSetFlagB(window, kWsReadOnly);
    EXPECT_EQ(gWinSlotTable(window)->forcedOn | gToolkitForcedDefaults()[0], 0u);
    EXPECT_FALSE(readOnly(37));
    gToolkitForcedDefaults()[1] = 0;

    // A vertical row shift takes a top-level widget's children along.
    gElement* panel = Add(8, 0x24000, "Panel");
    gElement* child = gWgtAdd(window, panel, nullptr, 0);
    ASSERT_TRUE(panel != nullptr && child != nullptr && panel->row != nullptr);
    const float y = child->y;
    gRowShift(panel->row, 0, 5);
    EXPECT_FLOAT_EQ(child->homeY, y + 5);
}

}  // namespace
}  // namespace orva
