// Drawing requests, kinds and roles, glyph drags, item links, file-block
// fix-ups and the shapes pipeline nodes ask for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shape_test_support.h"
#include "shapes/editing/shape_links.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/node_shape_action.h"

namespace orva {
namespace {

using shape_testing::ContainerTest;
using shape_testing::StatusRecorder;
using shape_testing::TestItem;

ShapeRequest Request(int32_t kind, int32_t role, float x0, float y0, float x1, float y1) {
    ShapeRequest r;
    r.kind = kind;
    r.role = role;
    r.start[0] = x0;
    r.start[1] = y0;
    r.end[0] = x1;
    r.end[1] = y1;
    return r;
}

std::vector<float> PointsOf(const Shape* s) {
    const AnchorBuffer& a = s->header.anchors;
    return std::vector<float>(a.Points(), a.Points() + 2 * a.Count());
}

class Requests : public ContainerTest {
protected:
    Requests() { view.defaultItem = &item; }
    Shape* Draw(const ShapeRequest& r) { return box.ShapeFromRequest(r, nullptr, nullptr); }
    TestItem item;
};

TEST(ShapeRoles, NamesAndNextKinds) {
    const std::vector<std::pair<int32_t, std::string>> names = {
        {-512, "Unknow"}, {-1, "Gauge"}, {0, ""}, {1, "RefPoint"}, {2, "Distance"}, {3, ""},
        {4, "Angle"}, {5, "Slice"}, {6, "Statistic"}, {7, "Area of Search"}, {8, ""}};
    for (const auto& [role, name] : names) EXPECT_EQ(ShapeRoleName(role), name) << role;

    struct Case {
        int32_t kind, role;
        uint32_t points;
        int32_t next;
    };
    const Case cases[] = {
        {kKindLine, 5, 2, kKindPolyLine},    {kKindPolyLine, 5, 2, kKindBSpline},
        {kKindBSpline, 5, 2, kKindLine},     {kKindBSpline, 5, 3, kKindPolyLine},
        {kKindArc, 5, 4, kKindPolyLine},     {kKindRect, 5, 2, -1},
        {kKindRect, 3, 2, kKindEllipse},     {kKindRect, 6, 2, kKindEllipse},
        {kKindRect, 7, 2, kKindEllipse},     {kKindEllipse, 6, 2, kKindRect},
        {kKindPolygon, 7, 3, kKindRect},     {kKindLine, 3, 2, kKindRect},
        {kKindPolyLine, 6, 2, -1},           {kKindPoint, 7, 1, -1},
        {kKindRect, 1, 2, -1},               {kKindNone, -512, 1, -1},
    };
    for (const Case& c : cases) {
        Shape* s = CreateShape(c.kind);
        s->AddRef();
        s->header.role = c.role;
        std::vector<float> xy(2 * c.points);
        for (uint32_t i = 0; i < c.points; ++i) xy[2 * i] = static_cast<float>(i);
        s->header.anchors.SetPoints(xy.data(), c.points);
        EXPECT_EQ(NextKindForRole(s), c.next) << c.kind << " role " << c.role;
        s->Release();
    }
}

TEST_F(Requests, ClicksLinesPointsAndPolygons) {
    EXPECT_EQ(Draw(Request(kKindLine, 0, 5, 5, 5, 5)), nullptr);
    Shape* point = Draw(Request(kKindPoint, 0, 5, 6, 5, 6));
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(PointsOf(point), (std::vector<float>{5, 6}));
    EXPECT_DOUBLE_EQ(point->header.box.x, 5.0);

    ShapeRequest polygon = Request(kKindPolygon, 0, 0, 0, 10, 20);
    polygon.vertexCount = 2;
    Shape* square = Draw(polygon);
    ASSERT_NE(square, nullptr);
    const std::vector<float> four = PointsOf(square);
    ASSERT_EQ(four.size(), 8u);
    EXPECT_FLOAT_EQ(four[0], 5.0f);  // the first vertex at the top
    EXPECT_FLOAT_EQ(four[1], 0.0f);
    EXPECT_NEAR(four[2], 10.0f, 1e-5);
    EXPECT_NEAR(four[3], 10.0f, 1e-5);
    polygon.vertexCount = 300000;
    polygon.newShape = 1;
    Shape* many = Draw(polygon);
    ASSERT_NE(many, nullptr);
    EXPECT_EQ(many->header.anchors.Count(), kMaxPolygonVertices);

    // Offsets of new shapes start from their defaults: width 1, nothing built.
    EXPECT_EQ(square->header.offset.direction, kOffsetCnrm);
    EXPECT_EQ(square->header.offset.Extent(), 0u);
    view.ready = false;
    EXPECT_EQ(Draw(Request(kKindRect, 0, 0, 0, 4, 4)), nullptr);
}

TEST_F(Requests, ContinuedShapesTakePointsAndRefuseRepeats) {
    StatusRecorder status;
    Shape* path = Draw(Request(kKindPolyLine, 0, 0, 0, 10, 0));
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(box.remembered, path);
    box.changed = 1;  // the view marks a drawing in progress
    EXPECT_EQ(Draw(Request(kKindPolyLine, 0, 10, 0, 10, 10)), path);
    EXPECT_EQ(PointsOf(path), (std::vector<float>{0, 0, 10, 0, 10, 10}));
    EXPECT_EQ(Draw(Request(kKindPolyLine, 0, 10, 10, 0, 0)), nullptr);
    ASSERT_EQ(StatusRecorder::texts(), (std::vector<std::string>{"Can`t change shape"}));
    EXPECT_EQ(StatusRecorder::codes(), (std::vector<int>{-3}));
    EXPECT_EQ(path->header.anchors.Count(), 3u);
    // A path of more than 3 points may be closed on its first point.
    EXPECT_EQ(Draw(Request(kKindPolyLine, 0, 10, 10, 0, 10)), path);
    EXPECT_EQ(Draw(Request(kKindPolyLine, 0, 0, 10, 0, 0)), path);
    EXPECT_EQ(path->header.anchors.Count(), 5u);
    // Rects are never continued.
    Shape* a = Draw(Request(kKindRect, 0, 0, 0, 5, 5));
    Shape* b = Draw(Request(kKindRect, 0, 1, 1, 6, 6));
    EXPECT_NE(a, b);
}

TEST_F(Requests, StatisticShapesAreLinkedToTheViewsItem) {
    Shape* s = Draw(Request(kKindRect, kRoleStatistic, 10, 10, 20, 30));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(box.current, s);
    EXPECT_NE(s->glyph, nullptr);
    EXPECT_TRUE(box.IsInList(s));
    ASSERT_EQ(box.undo.count, 1u);
    EXPECT_EQ(box.undo.last->Code(), kUndoCreate);
    EXPECT_TRUE(s->items.Contains(&item));
    EXPECT_EQ(item.refs, 1);
    EXPECT_EQ(item.refreshes, 1);
    EXPECT_EQ(s->derived.placement.mask, &s->derived.mask);

    ShapeRequest hidden = Request(kKindRect, kRoleStatistic, 0, 0, 4, 4);
    hidden.initialState = kShapeHidden;
    Shape* quiet = Draw(hidden);
    ASSERT_NE(quiet, nullptr);
    EXPECT_EQ(box.undo.count, 1u);
    EXPECT_EQ(box.current, s);

    TestItem refusing;
    refusing.accepts = false;
    view.defaultItem = &refusing;
    Shape* alone = Draw(Request(kKindEllipse, kRoleStatistic, 0, 0, 8, 8));
    ASSERT_NE(alone, nullptr);
    EXPECT_EQ(alone->items.head, nullptr);
    EXPECT_EQ(refusing.refs, 0);
}

TEST_F(Requests, KindAndRoleChanges) {
    Shape* dot = Draw(Request(kKindPoint, 0, 3, 4, 3, 4));
    ASSERT_NE(dot, nullptr);
    const uint32_t before = box.undo.count;
    ASSERT_TRUE(dot->SetKindAndRole(kKindPolyLine, -1));
    EXPECT_EQ(PointsOf(dot), (std::vector<float>{3, 4, 23, 4}));
    EXPECT_EQ(box.undo.count, before + 1);
    EXPECT_EQ(box.undo.last->Code(), kUndoAnchors);

    EXPECT_FALSE(dot->SetKindAndRole(-1, kRoleStatistic));  // statistics need closed kinds
    EXPECT_FALSE(dot->SetKindAndRole(kKindRect, kRoleSlice));
    EXPECT_FALSE(dot->SetKindAndRole(-1, kRoleRefPoint));  // reference points are Points
    EXPECT_FALSE(dot->SetKindAndRole(kKindPolyLine, -1));  // nothing changes

    ASSERT_TRUE(dot->SetKindAndRole(-1, kRoleSlice));
    EXPECT_EQ(box.undo.last->Code(), kUndoKindRole);
    EXPECT_NE(dot->procs.areaProcedure, nullptr);
    ASSERT_TRUE(dot->SetKindAndRole(kKindLine, -1));  // 2 points fit: only the kind
    EXPECT_EQ(box.undo.last->Code(), kUndoKindRole);
    EXPECT_FALSE(dot->SetKindAndRole(kKindRect, -1));

    // A polyline laid "NRML" becomes a Polygon: a third point and "CNRM".
    Shape* path = Draw(Request(kKindPolyLine, kRoleGaugeArea, 0, 0, 10, 0));
    path->header.offset.direction = kOffsetNrml;
    ASSERT_TRUE(path->SetKindAndRole(kKindPolygon, -1));
    EXPECT_EQ(box.undo.last->Code(), kUndoAll);
    EXPECT_EQ(path->header.offset.direction, kOffsetCnrm);
    EXPECT_EQ(PointsOf(path), (std::vector<float>{0, 0, 10, 0, 5, 0}));
    path->header.offset.direction = kOffsetFree;
    ASSERT_TRUE(path->SetKindAndRole(kKindPolyLine, -1));
    path->header.offset.direction = kOffsetNrml;
    ASSERT_TRUE(path->SetKindAndRole(kKindPolygon, -1));
    EXPECT_EQ(box.undo.last->Code(), kUndoOffset);

    // A Rect drawn backwards becomes an Ellipse with ordered corners.
    Shape* rect = Draw(Request(kKindRect, kRoleStatistic, 20, 30, 10, 10));
    box.SetCurrentShape(rect, false, false);
    ASSERT_TRUE(box.SetCurrentShapeMode());
    EXPECT_EQ(rect->header.kind, kKindEllipse);
    EXPECT_EQ(PointsOf(rect), (std::vector<float>{10, 10, 20, 30}));
    EXPECT_EQ(box.undo.last->Code(), kUndoAnchors);
    EXPECT_TRUE(box.undo.Step(true));
    EXPECT_EQ(rect->header.kind, kKindRect);
}

TEST_F(Requests, GlyphDragsMoveTheShapeOrItsSelectedAnchors) {
    view.frameWidth = 100;
    view.frameHeight = 100;
    Shape* s = Draw(Request(kKindRect, kRoleStatistic, 10, 10, 20, 30));
    ASSERT_NE(s, nullptr);
    static int builds;
    builds = 0;
    s->procs.areaRasteriser = [](Shape*, int32_t) {
        ++builds;
        return true;
    };
    const RegionRect maskBefore = s->derived.mask.rects[0];
    ShapeGlyphDrag(s, 3, 4, 0);
    EXPECT_EQ(PointsOf(s), (std::vector<float>{13, 14, 23, 34}));
    EXPECT_DOUBLE_EQ(s->header.pivotX, 18.0);
    EXPECT_EQ(builds, 0);
    EXPECT_EQ(s->derived.mask.rects[0], maskBefore);
    EXPECT_EQ(s->derived.placement.x, 13);
    EXPECT_EQ(s->derived.placement.y, 14);
    EXPECT_GT(view.overlayCloses, 0);

    ShapeGlyphDrag(s, 3, 4, 0x10000);  // Shift: vertical only
    EXPECT_EQ(PointsOf(s), (std::vector<float>{13, 18, 23, 38}));
    ShapeGlyphDrag(s, 3, 4, 0x10000 | 0x40000);  // Shift and Ctrl: horizontal only
    EXPECT_EQ(PointsOf(s), (std::vector<float>{16, 18, 26, 38}));

    // A short push against the frame's left edge is dropped.
    ShapeGlyphDrag(s, -16, 0, 0);
    EXPECT_EQ(PointsOf(s), (std::vector<float>{0, 18, 10, 38}));
    ShapeGlyphDrag(s, -5, 0, 0x10000 | 0x40000);
    EXPECT_EQ(PointsOf(s), (std::vector<float>{0, 18, 10, 38}));

    view.zoom.active = 1;
    view.zoom.x = view.zoom.y = 0.5;
    ShapeGlyphDrag(s, 4, 2, 0);
    EXPECT_EQ(PointsOf(s), (std::vector<float>{2, 19, 12, 39}));

    AnchorBuffer& a = s->header.anchors;
    a.Selection()[1] = 1;
    a.selectedCount = 1;
    a.lastSelected = 1;
    ShapeGlyphDrag(s, 2, 2, 0);
    EXPECT_EQ(PointsOf(s), (std::vector<float>{2, 19, 13, 40}));
}

TEST_F(Requests, ItemsLinksAndViews) {
    TestItem other;
    ObjectList list;
    EXPECT_TRUE(list.Add(&other));
    EXPECT_TRUE(list.Add(&other));
    EXPECT_EQ(other.refs, 1);
    EXPECT_FALSE(list.Remove(&item));
    EXPECT_TRUE(list.Remove(&other));
    EXPECT_EQ(other.refs, 0);

    Shape* s = Draw(Request(kKindRect, kRoleStatistic, 0, 0, 8, 8));
    Shape* t = Draw(Request(kKindRect, kRoleStatistic, 20, 0, 28, 8));
    ASSERT_NE(t, nullptr);
    s->AddRef();  // held by a measuring stage
    ASSERT_EQ(box.current, t);
    box.SetCurrentShape(s, false, false);
    EXPECT_TRUE(s->LeaveView());
    EXPECT_EQ(item.notified, 1);
    EXPECT_FALSE(box.IsInList(s));
    EXPECT_EQ(box.current, t);
    EXPECT_EQ(s->quiet, 1);
    EXPECT_NE(s->glyph, nullptr);
    EXPECT_TRUE(s->EnsureInContainer());
    EXPECT_TRUE(box.IsInList(s));
    EXPECT_EQ(box.current, s);
    EXPECT_EQ(s->quiet, 0);

    EXPECT_FALSE(s->UnlinkItem(&other));  // not linked
    EXPECT_TRUE(s->UnlinkItem(&item));
    EXPECT_FALSE(box.IsInList(s));
    EXPECT_FALSE(s->items.Contains(&item));
    EXPECT_TRUE(s->UnlinkItem(nullptr));  // off its view already
    EXPECT_TRUE(s->EnsureInContainer());
    s->items.Add(&other);
    EXPECT_TRUE(s->ReleaseItems());
    EXPECT_EQ(s->items.head, nullptr);
    EXPECT_EQ(other.refs, 0);
    s->Release();
}

TEST(ShapeFileBlocks, TagFixups) {
    struct Case {
        const char* object;
        const char* data;
        int32_t kind, role;
        uint32_t points;
        bool ok;
        int32_t wantKind, wantRole;
        const char* wantObject;
    };
    const Case cases[] = {
        {"REGION", "POINT", 4, 6, 2, false, 4, 6, "REGION"},
        {"ANCHOR", "RECT", 4, 6, 2, false, 4, 6, "ANCHOR"},
        {"", "REFPOINT", -1, -512, 1, true, kKindPoint, kRoleRefPoint, "REFPOINT"},
        {"", "", -1, 6, 2, true, kKindRect, 6, "ANCHOR"},
        {"", "", -1, 6, 3, true, kKindPolygon, 6, "ANCHOR"},
        {"", "", -1, 7, 0, true, kKindPolygon, 7, "ANCHOR"},
        {"", "", -1, 5, 2, true, kKindPolyLine, 5, "ANCHOR"},
        {"", "", -1, 2, 2, true, kKindPoint, 2, "ANCHOR"},
        {"ANCHOR", "POINT", kKindLine, -512, 2, true, kKindLine, 5, "ANCHOR"},
        {"ANCHOR", "POINT", kKindEllipse, -512, 2, true, kKindEllipse, 6, "ANCHOR"},
        {"ANCHOR", "POINT", kKindRect, 5, 2, true, kKindRect, 6, "ANCHOR"},
        {"ANCHOR", "POINT", kKindBSpline, 6, 2, true, kKindBSpline, 5, "ANCHOR"},
    };
    for (const Case& c : cases) {
        ShapeHeader h;
        h.kind = c.kind;
        h.role = c.role;
        h.offset.editFlag = -1;
        std::vector<float> xy(2 * c.points, 1.0f);
        h.anchors.SetPoints(xy.data(), c.points);
        ShapeFileTags tags;
        std::snprintf(tags.object, sizeof tags.object, "%s", c.object);
        std::snprintf(tags.data, sizeof tags.data, "%s", c.data);
        EXPECT_EQ(ShapeTagFixup(&h, &tags), c.ok) << c.object << "/" << c.data << " " << c.role;
        EXPECT_EQ(h.kind, c.wantKind) << c.object << "/" << c.data << " " << c.role;
        EXPECT_EQ(h.role, c.wantRole) << c.object << "/" << c.data << " " << c.role;
        EXPECT_STREQ(tags.object, c.wantObject);
        EXPECT_EQ(h.offset.editFlag, -1);  // the reader's defaults are left alone
    }
    ShapeHeader loaded;
    loaded.kind = kKindLine;
    loaded.role = kRoleSlice;
    loaded.offset.aperture[0] = 4;
    loaded.offset.editFlag = 0;
    ShapeFileTags tags;
    ASSERT_TRUE(ShapeTagFixup(&loaded, &tags));
    EXPECT_EQ(loaded.offset.editFlag, kApertureCentred);
    EXPECT_EQ(loaded.offset.Positive(), 2u);
}

// ---- Shapes asked for by pipeline nodes ------------------------------------------------------

class TestNode : public ShapeNode {
public:
    ~TestNode() override {
        for (Shape* s : taken) s->Release();
    }
    bool FrameSize(int64_t* w, int64_t* h) override {
        *w = width;
        *h = height;
        return hasFrame;
    }
    void VisibleOrigin(double* x, double* y) override {
        *x = originX;
        *y = originY;
    }
    ShapeContainer* Display() override { return display; }
    bool TakeShape(Shape* shape) override {
        shape->AddRef();
        taken.push_back(shape);
        return true;
    }
    bool hasFrame = true;
    int64_t width = 640, height = 480;
    double originX = 0.0, originY = 0.0;
    ShapeContainer* display = nullptr;
    std::vector<Shape*> taken;
};

TEST(NodeShapes, PointSizedDescriptionsBecomeBoxes) {
    struct Case {
        bool frame;
        int64_t width, height;
        double originX;
        double wantW, wantH, wantX;
    };
    const Case cases[] = {
        {true, 640, 480, 0, 50, 50, 0},   {true, 60, 40, 0, 30, 30, 0}, {true, 1, 1, 0, 1, 1, 0},
        {false, 0, 0, 0, 25, 25, 0},      {true, 60, 10, 0, 30, 10, 0},
        {true, 640, 480, 630, 50, 50, 590},  // moved back into the frame
    };
    for (const Case& c : cases) {
        TestNode node;
        node.hasFrame = c.frame;
        node.width = c.width;
        node.height = c.height;
        node.originX = c.originX;
        ShapeRequest d = Request(kKindRect, kRoleStatistic, 7, 7, 7, 7);
        ASSERT_TRUE(NodeShapeAction(&node, &d, nullptr)) << c.width;
        ASSERT_EQ(node.taken.size(), 1u);
        const Shape* s = node.taken[0];
        EXPECT_DOUBLE_EQ(s->header.box.w, c.wantW) << c.width;
        EXPECT_DOUBLE_EQ(s->header.box.h, c.wantH) << c.width;
        EXPECT_DOUBLE_EQ(s->header.box.x, c.wantX) << c.width;
        EXPECT_EQ(s->header.role, kRoleStatistic);
        EXPECT_EQ(s->statMark.centreX, -1.0);
        EXPECT_DOUBLE_EQ(s->header.pivotX, c.wantX + c.wantW / 2);
        EXPECT_NE(s->derived.placement.mask, nullptr);
    }
    TestNode node;
    ShapeRequest d = Request(kKindRect, kRoleStatistic, 0, 0, 0, 0);
    EXPECT_FALSE(NodeShapeAction(&node, nullptr, nullptr));
    ShapeRequest negative = d;
    negative.kind = -1;
    EXPECT_FALSE(NodeShapeAction(&node, &negative, nullptr));
    ShapeRequest small = d;
    small.size = 4;
    EXPECT_FALSE(NodeShapeAction(&node, &small, nullptr));
    EXPECT_TRUE(node.taken.empty());
}

TEST(NodeShapes, ADisplayEditingAShapeChangesItsKind) {
    TheShapeGlobals().Reset();
    shape_testing::TestView view;
    shape_testing::TestFrame frame;
    ShapeContainer box(&view, &frame, nullptr);
    Shape* current = box.ShapeFromRequest(Request(kKindRect, kRoleStatistic, 0, 0, 10, 10), nullptr, nullptr);
    ASSERT_NE(current, nullptr);
    TestNode node;
    node.display = &box;
    ShapeRequest d = Request(kKindEllipse, kRoleStatistic, 0, 0, 0, 0);
    EXPECT_TRUE(NodeShapeAction(&node, &d, nullptr));
    EXPECT_EQ(current->header.kind, kKindEllipse);
    EXPECT_TRUE(node.taken.empty());
    // Out of selection mode the node gets a new shape of its own.
    box.LeaveSelectMode();
    ShapeRequest line = Request(kKindLine, kRoleSlice, 0, 0, 30, 0);
    EXPECT_TRUE(NodeShapeAction(&node, &line, nullptr));
    ASSERT_EQ(node.taken.size(), 1u);
    EXPECT_DOUBLE_EQ(node.taken[0]->derived.length, 30.0);
    TheShapeGlobals().Reset();
}

}  // namespace
}  // namespace orva
