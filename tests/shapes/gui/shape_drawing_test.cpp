// The glyph painters in a GL window: a white 64 x 64 "image" at (10, 10) of the window,
// one data unit a pixel, shapes drawn over it and a few pixels read back from the back
// buffer; and the pick pass under OpenGL selection.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <memory>
#include <vector>

#include "shapes/shape_test_support.h"
#include "shapes/ui/glyph_list.h"
#include "shapes/ui/shape_drawing.h"
#include "toolkit/font.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/painters.h"

namespace orva {
namespace {

using namespace testing_util;
using namespace shape_testing;

constexpr int kImage = 10;  // the image's corner in the window
constexpr int kSide = 64;

class ShapeDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        TheShapeGlobals().Reset();
        InstallShapeDrawing();
        window = InitWithFrame(0, 0, 200, 200);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(OpenShown(window, "Shapes"));
        ASSERT_TRUE(gWinMakeCurrent(window));
        view.displayOffsetX = view.displayOffsetY = kImage;
        view.windowRect[0] = view.windowRect[1] = kImage;
        view.windowRect[2] = view.windowRect[3] = kSide;
        view.clipWidth = view.clipHeight = kSide;
        box = std::make_unique<ShapeContainer>(&view, &frame, std::make_unique<MemoryShapeList>());
    }
    void TearDown() override {
        if (IsSkipped()) return;
        box.reset();
        TheShapeGlobals().Reset();
        CloseToolkit();
    }
    Shape* Add(int32_t kind, std::initializer_list<float> xy, int32_t role = kRoleNone) {
        Shape* s = MakeShape(kind, xy, role);
        EXPECT_TRUE(box->AddShape(s));
        return s;
    }
    // The window cleared to grey, the image white, the view's clip planes set (as its own
    // paint leaves them), then `paint`.
    template <class F>
    void Draw(F paint) {
        const int w = window->clientWidth, h = window->clientHeight;
        glViewport(0, 0, w, h);
        glDisable(GL_BLEND);
        glDisable(GL_DITHER);
        glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        OrthoProjection(0, w, h, 0);
        glColor3f(1, 1, 1);
        glRectf(kImage, kImage, kImage + kSide, kImage + kSide);
        const double planes[4][4] = {{1, 0, 0, -kImage},
                                     {-1, 0, 0, kImage + kSide},
                                     {0, 1, 0, -kImage},
                                     {0, -1, 0, kImage + kSide}};
        for (int i = 0; i < 4; ++i) glClipPlane(GL_CLIP_PLANE0 + i, planes[i]);
        paint();
        glFinish();
    }
    // A data pixel's window pixel.
    Rgb At(int x, int y) { return PixelAt(window, kImage + x, kImage + y); }
    int Count(Rgb colour, int tolerance = 2) {
        int n = 0;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) n += Near(At(x, y), colour, tolerance);
        return n;
    }
    // Whether the pick pass of the painter hits a 4 x 4 region around window point (x, y).
    template <class F>
    bool Picks(int x, int y, F paint) {
        GLuint buffer[64] = {};
        const float w = static_cast<float>(window->clientWidth), h = static_cast<float>(window->clientHeight);
        glSelectBuffer(64, buffer);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glRenderMode(GL_SELECT);
        glTranslatef((w - 2.0f * x) / 4.0f, (2.0f * y - h) / 4.0f, 0.0f);
        glScalef(w / 4.0f, h / 4.0f, 1.0f);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glOrtho(0, w, h, 0, -1, 1);
        glInitNames();
        glPushName(1);
        gSetPicking(true);
        paint();
        gSetPicking(false);
        return glRenderMode(GL_RENDER) > 0;
    }

    gWindow* window = nullptr;
    TestView view;
    TestFrame frame;
    std::unique_ptr<ShapeContainer> box;
};

const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};
const Rgb kRed{255, 0, 0};

TEST_F(ShapeDrawing, ARectInTheFourFillModes) {
    Shape* rect = Add(kKindRect, {10, 10, 40, 30});
    Shape* other = Add(kKindRect, {50, 50, 60, 60});
    box->SetCurrentShape(rect, false, false);
    box->fillMode = 1;
    box->selectionFlag = 0;
    Draw([&] {
        PaintRectGlyph(nullptr, rect);
        PaintRectGlyph(nullptr, other);
    });
    EXPECT_TRUE(RgbNear(At(20, 20), {77, 179, 102})) << "current, opaque";
    EXPECT_TRUE(RgbNear(At(55, 55), {204, 0, 102})) << "another shape";
    EXPECT_TRUE(RgbNear(At(5, 5), kWhite));
    box->selectionFlag = 1;
    Draw([&] { PaintRectGlyph(nullptr, rect); });
    EXPECT_TRUE(RgbNear(At(20, 20), {128, 230, 230})) << "selected-current";
    // Mode 0 inverts the white image: black.
    box->fillMode = 0;
    Draw([&] { PaintRectGlyph(nullptr, rect); });
    EXPECT_TRUE(RgbNear(At(20, 20), kBlack));
    // Modes 2 and 3: the outline, the inside stays white.
    for (int mode : {2, 3}) {
        box->fillMode = mode;
        box->selectionFlag = 0;
        Draw([&] { PaintRectGlyph(nullptr, rect); });
        EXPECT_TRUE(RgbNear(At(25, 20), kWhite)) << mode;
        const Rgb edge = At(25, 10);
        EXPECT_FALSE(Near(edge, kWhite)) << mode << " " << edge;
        EXPECT_TRUE(RgbNear(edge, mode == 3 ? Rgb{77, 179, 102} : kBlack)) << mode;
    }
    // Nothing outside the view's area: the clip planes hold.
    Shape* wide = Add(kKindRect, {50, 0, 90, 20});
    box->fillMode = 1;
    Draw([&] { PaintRectGlyph(nullptr, wide); });
    EXPECT_TRUE(RgbNear(PixelAt(window, kImage + kSide + 3, kImage + 10), {128, 128, 128}, 3));
}

// A polygon of any number of vertices is drawn: a circle of radius 25 about (32, 32) as 3
// to 50,000 vertices (the renderer drew nothing for one primitive of a few thousand), its
// body over the centre and, outlined, its edge on the circle with the inside left white.
// (The vertices start a quarter step on, so that no edge is level.)
TEST_F(ShapeDrawing, APolygonOfManyVerticesIsDrawnInEveryFillMode) {
    for (const int n : {3, 300, 2049, 3000, 50000}) {
        SCOPED_TRACE(n);
        std::vector<float> xy;
        for (int i = 0; i < n; ++i) {
            const double a = 2.0 * M_PI * (i + 0.25) / n;
            xy.push_back(static_cast<float>(32.0 + 25.0 * std::cos(a)));
            xy.push_back(static_cast<float>(32.0 + 25.0 * std::sin(a)));
        }
        Shape* polygon = CreateShape(kKindPolygon);
        polygon->header.anchors.SetPoints(xy.data(), static_cast<uint32_t>(n));
        polygon->ResetPivot(kUpdateFull);
        ASSERT_TRUE(box->AddShape(polygon));
        box->selectionFlag = 0;
        for (const int mode : {0, 1, 2, 3}) {
            box->fillMode = mode;
            Draw([&] { PaintPolygonGlyph(nullptr, polygon); });
            // The triangle's centroid is (40.3, 32): inside every one of them.
            const Rgb inside = At(38, 32);
            // Outlined, the edge: about the circle's 157 pixels (the triangle's 130).
            const int marked = kSide * kSide - Count(kWhite);
            if (mode < 2) {
                EXPECT_FALSE(Near(inside, kWhite)) << "mode " << mode << ": no body";
            } else {
                EXPECT_TRUE(RgbNear(inside, kWhite)) << "mode " << mode << ": filled " << inside;
                EXPECT_TRUE(marked > 100 && marked < 300) << "mode " << mode << ": " << marked;
            }
        }
    }
    // A square, whose first edge is level, is a square; three vertices on a level line
    // are that line.
    Shape* square = Add(kKindPolygon, {10, 10, 40, 10, 40, 40, 10, 40});
    Shape* flat = Add(kKindPolygon, {10, 50, 40, 50, 25, 50});
    box->fillMode = 1;
    Draw([&] {
        PaintPolygonGlyph(nullptr, square);
        PaintPolygonGlyph(nullptr, flat);
    });
    EXPECT_FALSE(Near(At(25, 25), kWhite)) << "the square's body";
    EXPECT_EQ(kSide * kSide - Count(kWhite), 30 * 30 + 30) << "the square (pixel centres inside) and the line";
}

TEST_F(ShapeDrawing, TheLabelBoxAtLevelTwo) {
    gFont* font = gFontGet(window, kFaceByName, "DejaVu Sans", -12, 0, 204, 0, 400, nullptr);
    if (font == nullptr) GTEST_SKIP() << "no font";
    gFont* const saved = gFontCurrent();
    gFontCurrent() = font;
    Shape* rect = Add(kKindRect, {10, 10, 30, 20});
    box->labelLevel = 2;
    box->fillMode = 3;
    Draw([&] { PaintRectGlyph(nullptr, rect); });
    // The label is wider than the view: it is moved left to end at the view's right edge
    // (window x 74), and the view's clip keeps it inside.
    int yellow = 0, outside = 0, lastColumn = -1;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            const bool on = Near(PixelAt(window, x, y), {255, 255, 191});
            yellow += on;
            outside += on && (x < kImage || x >= kImage + kSide || y < kImage || y >= kImage + kSide);
            if (on) lastColumn = std::max(lastColumn, x);
        }
    }
    EXPECT_GT(yellow, 40);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(lastColumn, kImage + kSide - 1);
    // Level 1 shows no label.
    box->labelLevel = 1;
    Draw([&] { PaintRectGlyph(nullptr, rect); });
    EXPECT_EQ(Count({255, 255, 191}), 0);
    gFontCurrent() = saved;
    gFontRelease(font);
}

TEST_F(ShapeDrawing, KindsWithoutADrawingChangeNothing) {
    for (int kind = 8; kind < 14; ++kind) EXPECT_EQ(TheShapeGlyphHooks().paint[kind], nullptr) << kind;
    EXPECT_NE(TheShapeGlyphHooks().paint[kKindPolygon], nullptr);
    Shape* empty = CreateShape(kKindPoint);
    ASSERT_TRUE(box->AddShape(empty));
    Draw([] {});
    const std::vector<uint8_t> before = ReadBack(window);
    Draw([&] { PaintPointGlyph(nullptr, empty); });
    EXPECT_EQ(ReadBack(window), before);
    EXPECT_FALSE(Picks(kImage + 1, kImage + 1, [&] { PaintPointGlyph(nullptr, empty); }));
}

TEST_F(ShapeDrawing, StatisticMarks) {
    Shape* rect = Add(kKindRect, {4, 4, 60, 60});
    box->fillMode = 2;
    rect->statMark.centreX = 30.0;
    rect->statMark.centreY = 30.0;
    rect->statMark.halfFwhm = 1.0f;
    rect->statMark.thresholdRadius = 1.0f;
    Draw([&] { PaintRectGlyph(nullptr, rect); });
    // A red point of size 2 about (30.5, 30.5); nothing green.
    int red = 0;
    for (int y = 27; y < 35; ++y)
        for (int x = 27; x < 35; ++x) red += Near(At(x, y), kRed);
    EXPECT_EQ(red, 4);
    EXPECT_TRUE(RgbNear(At(30, 30), kRed));
    EXPECT_EQ(Count({0, 255, 0}), 0);
    // Radius 25 without a zoom: a circle of segments from -90 degrees; its top is red.
    rect->statMark.halfFwhm = 25.0f;
    Draw([&] { PaintRectGlyph(nullptr, rect); });
    EXPECT_TRUE(RgbNear(At(30, 30), kRed)) << "the centre";
    EXPECT_TRUE(Near(At(30, 5), kRed) || Near(At(30, 6), kRed)) << At(30, 5);
    EXPECT_TRUE(Near(At(55, 30), kRed) || Near(At(56, 30), kRed) || Near(At(54, 30), kRed)) << At(55, 30);
    bool points = true;
    EXPECT_EQ(StatisticCirclePoints(25.0f, false, &points).size(), 2u * 16);
    EXPECT_FALSE(points);
    EXPECT_EQ(StatisticCirclePoints(45.0f, false, &points).size(), 2u * 32);
    EXPECT_EQ(StatisticCirclePoints(10.0f, true, &points).size(), 2u * 16) << "scaled: segments";
    // Below 20 and not scaled: the midpoint circle's points, all at distance about r.
    const std::vector<float> p = StatisticCirclePoints(5.0f, false, &points);
    EXPECT_TRUE(points);
    for (size_t i = 0; i < p.size(); i += 2) EXPECT_NEAR(std::hypot(p[i], p[i + 1]), 5.0, 0.8);
}

// At zoom 2 a half FWHM of 10 frame pixels is a circle of 20 window pixels about the
// centre at 2 x 20.5 = 41 (its top near y 21), not one of 40 (its top near y 1).
TEST_F(ShapeDrawing, AZoomedStatisticCircleKeepsItsRadiusInFramePixels) {
    Shape* rect = Add(kKindRect, {2, 2, 30, 30});
    box->fillMode = 2;
    view.pixelScale = ViewPixelScale{1, 2.0, 2.0};
    rect->statMark.centreX = 20.0;
    rect->statMark.centreY = 20.0;
    rect->statMark.halfFwhm = 10.0f;
    rect->statMark.thresholdRadius = 0.0f;
    Draw([&] { PaintRectGlyph(nullptr, rect); });
    auto redAround = [&](int x, int y) {
        int n = 0;
        for (int v = y - 2; v <= y + 2; ++v)
            for (int u = x - 2; u <= x + 2; ++u) n += Near(At(u, v), kRed);
        return n;
    };
    EXPECT_GT(redAround(41, 21), 0) << "no circle of radius 20";
    EXPECT_GT(redAround(61, 41), 0) << "no circle of radius 20";
    EXPECT_EQ(redAround(41, 2), 0) << "a circle of radius 40";
}

TEST_F(ShapeDrawing, ABSplineThickensWithRedPointsAboveZoomTwo) {
    Shape* spline = Add(kKindBSpline, {2, 2, 8, 18, 18, 4});
    box->fillMode = 3;
    view.pixelScale = ViewPixelScale{1, 3.0, 3.0};
    Draw([&] { PaintBSplineGlyph(nullptr, spline); });
    EXPECT_GT(Count(kRed, 1), 10);
    view.pixelScale = ViewPixelScale{1, 2.0, 2.0};
    Draw([&] { PaintBSplineGlyph(nullptr, spline); });
    EXPECT_EQ(Count(kRed, 1), 0);
    EXPECT_GT(Count({204, 0, 102}), 10) << "the curve in its own colour";
}

TEST_F(ShapeDrawing, PickFormsOfDegenerateRects) {
    ASSERT_TRUE(ShapeDrawingLimitsFit());
    // Coincident anchors: a 5-pixel point; zero width: a line.
    Shape* dot = Add(kKindRect, {20, 20, 20, 20});
    Shape* line = Add(kKindRect, {40, 10, 40, 50});
    auto dotPaint = [&] { PaintRectGlyph(nullptr, dot); };
    auto linePaint = [&] { PaintRectGlyph(nullptr, line); };
    EXPECT_TRUE(Picks(kImage + 20, kImage + 21, dotPaint));
    EXPECT_FALSE(Picks(kImage + 30, kImage + 30, dotPaint));
    EXPECT_TRUE(Picks(kImage + 40, kImage + 30, linePaint));
    EXPECT_FALSE(Picks(kImage + 48, kImage + 30, linePaint));
    // A whole Rect is picked over its inside.
    Shape* full = Add(kKindRect, {10, 10, 30, 30});
    EXPECT_TRUE(Picks(kImage + 20, kImage + 20, [&] { PaintRectGlyph(nullptr, full); }));
}

}  // namespace
}  // namespace orva
