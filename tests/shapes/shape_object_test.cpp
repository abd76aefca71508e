#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shape_test_support.h"
#include "shapes/shape_undo.h"

namespace orva {
namespace {

using shape_testing::MakeShape;

class ShapeObject : public ::testing::Test {
protected:
    ShapeObject() { TheShapeGlobals().Reset(); }
    ~ShapeObject() override { TheShapeGlobals().Reset(); }
};

TEST_F(ShapeObject, NamesCountPerKindAndSerialsWrap) {
    std::vector<std::string> names;
    std::vector<ShapeRef> held;
    for (int32_t kind : {4, 4, 5, 4, 5}) {
        held.emplace_back(CreateShape(kind));
        names.push_back(held.back().Get()->name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Rect", "Rect 2", "circle", "Rect 3", "circle 2"}));
    EXPECT_EQ(held[0].Get()->serial, 1u);
    EXPECT_EQ(held[4].Get()->serial, 5u);

    TheShapeGlobals().shapeCounter = 0xFFFFFFFFu;
    ShapeRef wrapped(CreateShape(0));
    EXPECT_EQ(wrapped.Get()->serial, 0u);

    // Renaming replaces the text in place; a kind without a name counts too.
    Shape* s = held[0].Get();
    s->MakeName(true);
    EXPECT_STREQ(s->name, "Rect 4");
    s->header.kind = 14;
    s->MakeName(true);
    s->MakeName(true);
    EXPECT_STREQ(s->name, " 2");
}

TEST_F(ShapeObject, KindAndRoleTables) {
    EXPECT_EQ(KindFromName("ellipse", 0), 6);
    EXPECT_EQ(KindFromName("ELLIPSEat", 0), 9);
    EXPECT_EQ(KindFromName("Rec", 3), 4);  // compared over the given length
    EXPECT_EQ(KindFromName("Rec", 0), -1);
    EXPECT_EQ(KindFromName("Hexagon", 0), -1);
    EXPECT_EQ(KindFromName(nullptr, 0), -1);
    EXPECT_EQ(RoleFromName("SLICE", 0), 5);
    EXPECT_EQ(RoleFromName("findarea", 0), 7);
    EXPECT_EQ(RoleFromName("nothing", 0), -512);
    EXPECT_EQ(RoleFromName(nullptr, 0), -512);

    std::vector<int32_t> open;
    for (int32_t kind = -1; kind <= 14; ++kind)
        if (KindIsOpenCurve(kind)) open.push_back(kind);
    EXPECT_EQ(open, (std::vector<int32_t>{0, 1, 2, 3, 11}));

    EXPECT_EQ(ShapeKindName(14), nullptr);
    EXPECT_EQ(ShapeKindName(-1), nullptr);
    EXPECT_STREQ(ShapeKindName(2), "B-Sline");
    EXPECT_EQ(std::u16string(ShapeKindNameW(13)), u"EllipseATSeg");
    EXPECT_STREQ(ShapeFamilyName(0), "RefPoint(s)");
    EXPECT_STREQ(ShapeFamilyName(11), "Curve");
    EXPECT_STREQ(ShapeFamilyName(12), "Polygon");
    EXPECT_STREQ(ShapeRoleTableName(7), "findArea");
    EXPECT_STREQ(ShapeRoleGroupName(4), "Gauge");
    EXPECT_STREQ(ShapeRoleGroupName(7), "Statistic");
    EXPECT_EQ(ShapeRoleGroupName(0), nullptr);
    EXPECT_EQ(ShapeMinimumAnchors(14), 5);
    EXPECT_EQ(ShapeMinimumAnchors(-3), 1);
    EXPECT_EQ(ShapeHandleCount(2, 5), 9);
    EXPECT_EQ(ShapeHandleCount(4, 6), 5);
    EXPECT_EQ(ShapeHandleCount(4, 3), 1);
}

TEST_F(ShapeObject, OffsetDirectionOfClosedKindsIsCnrmOrAxis) {
    ShapeRef rect(MakeShape(kKindRect, {0, 0, 10, 10}));
    Shape* s = rect.Get();
    EXPECT_TRUE(s->SetOffsetDirection(kOffsetFree));
    EXPECT_EQ(s->header.offset.direction, kOffsetCnrm);
    EXPECT_FALSE(s->SetOffsetDirection(kOffsetNrml));  // becomes "CNRM" again: unchanged
    EXPECT_TRUE(s->SetOffsetDirection(kOffsetAxis));
    EXPECT_EQ(s->header.offset.direction, kOffsetAxis);

    // Setting the procedures up again re-applies the direction and selects the default anchors.
    s->header.role = kRoleStatistic;
    s->header.anchors.SelectAll(false);
    int32_t handles = 0;
    bool changed = false;
    EXPECT_TRUE(s->SetupKindProcs(&handles, &changed));
    EXPECT_EQ(std::tuple(handles, changed, s->header.anchors.selectedCount), std::tuple(5, true, -1));
    EXPECT_EQ(s->header.offset.direction, kOffsetAxis);
    s->header.kind = kKindQuads;
    EXPECT_FALSE(s->SetupKindProcs(nullptr, nullptr));

    ShapeRef line(MakeShape(kKindPolyLine, {0, 0, 10, 10}));
    EXPECT_TRUE(line.Get()->SetOffsetDirection(kOffsetAngl));
    EXPECT_EQ(line.Get()->header.offset.direction, kOffsetAngl);
}

TEST_F(ShapeObject, GeometryAndPivot) {
    ShapeRef ref(MakeShape(kKindPolygon, {2.5f, 1, 12.5f, 1, 7, 21}));
    Shape* s = ref.Get();
    EXPECT_EQ(s->header.box.x, 2.5);
    EXPECT_EQ(s->header.box.w, 10.0);
    EXPECT_EQ(s->header.box.h, 20.0);
    EXPECT_EQ(s->header.pivotX, 7.5);
    EXPECT_EQ(s->header.pivotY, 11.0);
    // Pixel box: rounded corners, at least 1 wide.
    EXPECT_EQ(s->pixelBox.x, 3);
    EXPECT_EQ(s->pixelBox.w, 10);
    EXPECT_EQ(s->pixelBox.h, 20);
    ShapeBoxBlock flat;
    flat.x = 4.4;
    flat.w = 0.3;
    ShapePixelBox p = IntegerBox(flat);
    EXPECT_EQ(std::pair(p.x, p.w), std::pair(int64_t{4}, 1));
    flat.x = 1e300;  // saturates, never overflows
    EXPECT_EQ(IntegerBox(flat).w, 1);

    // A pinned pivot stays; reason 8 leaves the pivot alone.
    s->statMark.centreX = 3.0;
    s->header.pivotPinned = 1;
    s->header.anchors.Points()[0] = -7.5f;
    s->ResetPivot(kUpdateFull);
    EXPECT_EQ(s->statMark.centreX, -1.0);
    EXPECT_EQ(s->header.box.x, -7.5);
    EXPECT_EQ(s->header.pivotX, 7.5);
    s->header.pivotPinned = 0;
    s->ResetPivot(kUpdateKeepPivot);
    EXPECT_EQ(s->header.pivotX, 7.5);
    s->ResetPivot(kUpdateFull);
    EXPECT_EQ(s->header.pivotX, 2.5);

    // Default anchors: all, or the last one of a point.
    s->SelectDefaultAnchors();
    EXPECT_EQ(s->header.anchors.selectedCount, -1);
    s->header.kind = kKindPoint;
    s->SelectDefaultAnchors();
    EXPECT_EQ(std::pair(s->header.anchors.selectedCount, s->header.anchors.lastSelected), std::pair(1, 2));
    EXPECT_EQ(s->header.anchors.Selection()[0] + s->header.anchors.Selection()[1], 0);
}

TEST_F(ShapeObject, SnapshotAndUndoStepCodes) {
    ShapeRef ref(MakeShape(kKindRect, {0, 0, 10, 10}));
    Shape* s = ref.Get();
    s->header.subpix = 4;
    s->header.scale = 2.0f;
    s->BeginEdit();
    EXPECT_EQ(s->snapshot.kind, kKindRect);
    EXPECT_EQ(s->snapshot.anchors.Count(), 2u);
    EXPECT_EQ(s->snapshot.subpix, 1);  // not part of the snapshot
    EXPECT_EQ(s->snapshot.scale, 1.0f);

    const uint32_t stateCodes[] = {kUndoAnchors, kUndoPivot, kUndoOffset, kUndoKindRole, kUndoAll};
    auto makes = [&](uint32_t code) {
        ShapeUndoStep* step = s->MakeUndoStep(code);
        if (step == nullptr) return false;
        step->Release();
        return true;
    };
    // Nothing changed since the snapshot: only creation and removal make steps.
    for (uint32_t code : stateCodes) EXPECT_FALSE(makes(code));
    EXPECT_TRUE(makes(kUndoCreate));
    EXPECT_TRUE(makes(kUndoDelete));
    EXPECT_FALSE(makes(kUndoDeleteAll));
    EXPECT_FALSE(makes(FourCC("MOVE")));

    // Each kind of change counts.
    auto changed = [&](auto edit) {
        s->BeginEdit();
        edit();
        bool result = makes(kUndoAll);
        s->BeginEdit();
        return result;
    };
    EXPECT_TRUE(changed([&] { s->header.pivotY += 1; }));
    EXPECT_TRUE(changed([&] { s->header.flag = 1; }));
    EXPECT_TRUE(changed([&] { s->header.offset.vector[1] = 0.5f; }));
    EXPECT_TRUE(changed([&] { s->header.box.further[1] = 1; }));
    EXPECT_TRUE(changed([&] { s->header.anchors.Points()[3] = 11; }));
    EXPECT_TRUE(changed([&] { s->header.role = kRoleStatistic; }));
    EXPECT_FALSE(changed([&] { s->header.scale = 3.0f; }));

    // Without a valid snapshot every state code makes a step.
    s->snapshot.kind = kKindNone;
    for (uint32_t code : stateCodes) EXPECT_TRUE(makes(code));
}

TEST_F(ShapeObject, RestoreAnswersWhatDiffered) {
    ShapeRef ref(MakeShape(kKindPolyLine, {0, 0, 4, 3}));
    Shape* s = ref.Get();
    ShapeHeader stored;
    ASSERT_TRUE(CopyEditState(&stored, s->header));

    EXPECT_EQ(ShapeRestore(stored, &s->header), -1);

    s->header.pivotX = 99;
    EXPECT_EQ(ShapeRestore(stored, &s->header), 1);
    EXPECT_EQ(s->header.pivotX, stored.pivotX);

    s->header.offset.aperture[0] = 5;
    s->header.offset.direction = kOffsetAxis;
    EXPECT_EQ(ShapeRestore(stored, &s->header), 2);
    EXPECT_EQ(s->header.offset.aperture[0], 0);
    EXPECT_EQ(s->header.offset.direction, 0u);

    s->header.anchors.Points()[2] = 40;
    s->header.box.w = 40;
    EXPECT_EQ(ShapeRestore(stored, &s->header), 3);
    EXPECT_EQ(s->header.anchors.X(1), 4.0f);
    EXPECT_EQ(s->header.box.w, 4.0);

    s->header.kind = kKindLine;
    EXPECT_EQ(ShapeRestore(stored, &s->header), 3);
    EXPECT_EQ(s->header.kind, kKindPolyLine);

    stored.box.w = 5000000.0;
    s->header.pivotX = 99;
    EXPECT_EQ(ShapeRestore(stored, &s->header), 0);
    EXPECT_EQ(s->header.pivotX, 99.0);  // nothing written
    stored.box.w = -4194304.0;
    EXPECT_EQ(ShapeRestore(stored, &s->header), 3);
}

TEST_F(ShapeObject, AnchorBlocksAreReusedWithinTheSlackAndRefusedBeyondTheLimit) {
    AnchorBuffer a;
    const float xy[] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(a.SetPoints(xy, 3));
    EXPECT_EQ(a.size, (3u + 64) * 9);  // 64 spare points, one selection byte each
    a.Selection()[1] = 1;
    void* block = a.block;
    ASSERT_TRUE(a.EnsureRoom(67));
    EXPECT_EQ(a.block, block);
    ASSERT_TRUE(a.EnsureRoom(68));  // too small: the points and selection bytes move along
    EXPECT_NE(a.block, block);
    EXPECT_EQ(a.size, (68u + 64) * 9);
    EXPECT_EQ(std::vector<float>(a.Points(), a.Points() + 6), std::vector<float>(xy, xy + 6));
    EXPECT_EQ(a.Selection()[1], 1);
    EXPECT_EQ(static_cast<uint8_t*>(a.area2), static_cast<uint8_t*>(a.block) + (68 + 64) * 8);

    // A copy into a block whose surplus would reach 2 MiB takes a fitting one.
    AnchorBuffer big;
    std::vector<float> many(2 * 300000, 1.5f);
    ASSERT_TRUE(big.SetPoints(many.data(), 300000));
    ASSERT_TRUE(big.CopyFrom(a));
    EXPECT_EQ(big.size, (3u + 64) * 9);
    EXPECT_TRUE(big.SamePoints(a));
    ASSERT_TRUE(big.SetPoints(many.data(), 232000));  // 2,088,576 bytes: 3 points keep it
    void* kept = big.block;
    ASSERT_TRUE(big.SetPoints(many.data(), 3));
    EXPECT_EQ(big.block, kept);

    // Beyond 0x20000000 bytes nothing changes.
    EXPECT_FALSE(a.EnsureRoom(0x20000000u / 9));
    EXPECT_EQ(a.Count(), 3u);
    EXPECT_EQ(a.size, (68u + 64) * 9);
}

}  // namespace
}  // namespace orva
