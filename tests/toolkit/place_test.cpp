// Placement of elements in group rows, fitting and arranging, as arithmetic (no GL).
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "toolkit/layout.h"

namespace orva {
namespace {

class PlaceTest : public ::testing::Test {
protected:
    void SetUp() override { gSlotTableInit(&table, nullptr, true); }
    void TearDown() override {
        for (gSlotList& list : table.slots) {
            while (list.first != nullptr) {
                gGroup* g = list.first;
                gGrpUnlinkFromSlot(g);
                delete g;
            }
        }
        for (gElement* e : made) delete e;
    }
    gElement* El(float w, float h, int kind = 37) {
        auto* e = new gElement;
        e->cellWidth = e->width = w;
        e->cellHeight = e->height = h;
        e->kind = kind;
        e->initiallyShown = 1;
        e->style = 0x24000;
        made.push_back(e);
        return e;
    }
    gSlotTable table;
    std::vector<gElement*> made;
};

TEST_F(PlaceTest, HorizontalRowSeparatorsAndNoPlacement) {
    gGroup* g = gGrpGet(&table, 0x24000);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(std::tuple(g->tag, g->align), std::tuple(kGroupTag, 10u));
    EXPECT_FLOAT_EQ(g->gapX, 2.0f);
    g->align = 1;
    gElement* sep1 = El(30, 30, 14);
    gElement* sep2 = El(30, 30, 15);
    EXPECT_EQ(gWgtPlaceInGroup(g, sep1), 1);
    EXPECT_FLOAT_EQ(g->openRow->contentWidth, 4.0f);  // a separator opening a row: 4 wide
    EXPECT_EQ(gWgtPlaceInGroup(g, sep2), 1);
    EXPECT_FLOAT_EQ(g->openRow->contentWidth, 4.0f);  // inside an open row: nothing
    gElement* a = El(20, 15);
    gWgtPlaceInGroup(g, a);
    EXPECT_FLOAT_EQ(a->x, 6.0f);
    EXPECT_EQ(std::tuple(g->openRow->first, g->openRow->last, sep2->rowNext), std::tuple(sep1, a, a));
    EXPECT_EQ(a->rowFirst, sep1);

    gGroup* fresh = gGrpCreateSlot(&table, 0x30000);
    fresh->align = 0x40000001;
    gElement* free = El(20, 15);
    free->x = 7;
    EXPECT_EQ(gWgtPlaceInGroup(fresh, free), 1);
    EXPECT_FLOAT_EQ(free->x, 7.0f);
    EXPECT_EQ(std::tuple(free->row, fresh->rowsHead), std::tuple(nullptr, nullptr));
}

TEST_F(PlaceTest, ThreeCellsAtGapTwoAndVerticalGrowth) {
    gGroup* g = gGrpGet(&table, 0x24000);
    g->align = 1;
    gElement* e[3] = {El(20, 15), El(20, 15), El(20, 15)};
    for (gElement* x : e) EXPECT_EQ(gWgtPlaceInGroup(g, x), 1);
    EXPECT_EQ(std::tuple(e[0]->x, e[1]->x, e[2]->x, g->openRow->contentWidth), std::tuple(0.0f, 22.0f, 44.0f, 64.0f));
    EXPECT_EQ(std::tuple(g->width, g->height), std::tuple(64.0f, 15.0f));
    // A taller element centres the row (row alignment 0x8000: half the growth).
    gElement* tall = El(10, 19);
    gWgtPlaceInGroup(g, tall);
    EXPECT_EQ(std::tuple(e[0]->y, e[0]->homeY, tall->y, g->height), std::tuple(2.0f, 2.0f, 0.0f, 19.0f));
    EXPECT_FLOAT_EQ(g->openRow->contentHeight, 19.0f);

    // Vertical group: the narrower element moves in by half the difference.
    gGroup* v = gGrpCreateSlot(&table, 0x90000);
    v->align = 2;
    gElement* wide = El(30, 10);
    gElement* narrow = El(20, 12);
    gWgtPlaceInGroup(v, wide);
    gWgtPlaceInGroup(v, narrow);
    EXPECT_EQ(std::tuple(narrow->y, narrow->x, v->height), std::tuple(12.0f, 5.0f, 24.0f));
}

TEST_F(PlaceTest, ReferenceClipAndSecondGroupBelowFirst) {
    gGroup* g = gGrpGet(&table, 0x24000);
    const float reference[2] = {100, 50};
    g->reference = reference;
    g->align = 1;
    EXPECT_EQ(gWgtPlaceInGroup(g, El(58, 15)), 1);
    EXPECT_EQ(gWgtPlaceInGroup(g, El(60, 15)), 0);  // 120 wide: cut to 100, made hidden
    EXPECT_FLOAT_EQ(g->width, 100.0f);

    gGroup* first = gGrpGet(&table, 0x84000);
    first->y = 5;
    first->marginTop = 1;
    first->marginBottom = 2;
    gWgtPlaceInGroup(first, El(20, 15));
    EXPECT_FLOAT_EQ(first->height, 15.0f);
    gGroup* second = gGrpCreateSlot(&table, 0x84000);
    EXPECT_EQ(std::tuple(second->y, second->marginBottom), std::tuple(5 + 15 + 1 + 2 + 2.0f, 2.0f));
    EXPECT_EQ(std::tuple(table.slots[2].count, table.slots[2].current), std::tuple(2, second));
}

TEST_F(PlaceTest, FittingArrangingAndExtent) {
    gGroup* g = gGrpGet(&table, 0x24000);
    g->align = 0x11;  // horizontal rows stacked as lines
    for (int i = 0; i < 3; ++i) gWgtPlaceInGroup(g, El(20, 15));
    gWgtFitLayout(g);
    EXPECT_EQ(g->openRow, nullptr);
    gElement* lone = El(20, 15);
    gWgtPlaceInGroup(g, lone);
    EXPECT_FLOAT_EQ(lone->y, 17.0f);
    g->openRow->align |= 0x200;  // centre this line
    gGrpArrange(g);
    EXPECT_TRUE(g->arranged);
    EXPECT_EQ(std::tuple(lone->x, lone->placedX, g->cellWidth, g->cellHeight), std::tuple(22.0f, 22.0f, 64.0f, 32.0f));
    int32_t w = 0, h = 0;
    EXPECT_TRUE(gSlotTableExtent(&table, &w, &h));
    EXPECT_EQ(std::tuple(w, h), std::tuple(64, 32));

    // Fitting a row against a wider measure: far side, then centred.
    gGroup* f = gGrpCreateSlot(&table, 0x30000);
    f->align = 1;
    gElement* a = El(20, 15);
    gWgtPlaceInGroup(f, a);
    gRow* row = f->openRow;
    row->align = 0x100;
    const float measure[2] = {100, 15};
    gWgtPlaceItem(f, row, 0x30000, measure);
    EXPECT_FLOAT_EQ(a->x, 80.0f);
    row->align = 0x200;
    gWgtPlaceItem(f, row, 0x30000, measure);
    EXPECT_FLOAT_EQ(a->x, 120.0f);
    EXPECT_EQ(std::tuple(gGrpNormAlign(0x13), gGrpNormAlign(0x0E), gGrpNormAlign(0x34)), std::tuple(0x11u, 10u, 0x14u));
    EXPECT_EQ(std::tuple(gWgtAlignFlags(0x8100, 0x4600), gWgtAlignFlags(0, 0x2800)), std::tuple(0x4200u, 0x2000u));
}

TEST_F(PlaceTest, ReleasingGroupReferences) {
    gGroup* g = gGrpGet(&table, 0x24000);
    g->refCount = 2;
    gGroup* a = g;
    gGroup* b = g;
    gGrpReleaseRange(&a, &b);  // the same group in both: released twice
    EXPECT_EQ(std::tuple(a, b), std::tuple(nullptr, nullptr));
    EXPECT_FALSE(gWgtIsLive(g));
    EXPECT_EQ(table.slots[0].count, 0);

    gGroup* g1 = gGrpCreateSlot(&table, 0x84000);
    gGroup* g2 = gGrpCreateSlot(&table, 0x84000);
    gGroup* g3 = gGrpCreateSlot(&table, 0x84000);
    g2->keep = 1;
    gGrpReleaseRange(&g1, &g3);
    EXPECT_EQ(g1, nullptr);
    EXPECT_TRUE(gWgtIsLive(g2));  // a kept group is never destroyed here
    EXPECT_EQ(table.slots[2].first, nullptr);
    delete g2;
}

}  // namespace
}  // namespace orva
