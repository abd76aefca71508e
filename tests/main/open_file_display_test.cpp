// End to end on the X server: a 256 x 256 FITS file written by astropy, opened through
// the open road, shows in cell 1 of the main window's "Layout" workspace. The pixels
// inside the cell's plot area are the Transformation's output for the frame, nothing is
// drawn outside it, and a screenshot is kept for a look.
//
// The test needs the open road (the Source and the opening of files) and the image
// window; a build without them skips it (tests/CMakeLists.txt looks for them).
#include <gtest/gtest.h>

// The build defines ORVA_OPEN_FILE_DISPLAY when the open road and the image window exist.
#ifdef ORVA_OPEN_FILE_DISPLAY
#include <GL/gl.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "program_shell.h"
#include "app/file_dialog.h"
#include "app/graphics_window.h"
#include "app/main_menu.h"
#include "app/image_window.h"
#include "framework/display_lock.h"
#include "platform/msg_queue.h"
#include "main/chart_services.h"
#include "main/display_services.h"
#include "main/menu_services.h"
#include "reduction/reduction_component.h"
#include "reduction/statistic_block.h"
#include "shapes/editing/shape_edits.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/ui/glyph_list.h"
#include "shapes/ui/shape_files.h"
#include "toolkit/input.h"
#include "shapes/shape_container.h"
#include "test_support.h"
#include "toolkit/menu.h"
#include "views/display_cell.h"
#include "views/open_data_files.h"
#include "views/slice_page.h"
#include "views/workspace.h"
#endif

namespace orva {
namespace {

#ifndef ORVA_OPEN_FILE_DISPLAY

TEST(OpenFileDisplay, AFitsFileShowsInCellOneOfLayout) {
    GTEST_SKIP() << "this build has no open road or no image window";
}

#else

using namespace testing_util;

using testing_program::WriteRampFits;

// The window pixel of a frame point on the view of a container's shapes.
std::pair<int, int> WindowPoint(ShapeContainer* shapes, double fx, double fy) {
    shapes->view->Follow();
    const ShapeView& v = *shapes->view;
    const double zx = v.pixelScale.flag ? v.pixelScale.x : 1.0, zy = v.pixelScale.flag ? v.pixelScale.y : 1.0;
    return {static_cast<int>(std::floor(v.displayOffsetX + v.originX + fx * zx)),
            static_cast<int>(std::floor(v.displayOffsetY + v.originY + fy * zy))};
}

// True when the colour is at the pixel or one of its eight neighbours.
bool NearColour(gWindow* host, int x, int y, Rgb want) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (Near(PixelAt(host, x + dx, y + dy), want)) return true;
    return false;
}

class OpenFileDisplay : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        services_.emplace();
        InstallMenuServices();
        InstallDisplayServices();
        InstallChartServices();
        TheComponentServices().createImageWindow = &CreateImageWindow;
        TheComponentServices().pollComponentState = &PollComponentState;
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Stop();
        services_.reset();
    }

    // Opens the file through the open road and answers cell 1 of the main window's
    // workspace (nullptr when something is missing); `source` receives the file's Source.
    DisplayComponent* OpenIntoCellOne(const std::string& path, ComponentBase** source = nullptr) {
        return testing_program::OpenIntoCellOne(&cui(), path, source);
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
};

TEST_F(OpenFileDisplay, AFitsFileShowsInCellOneOfLayout) {
    const std::string path = folder.File("ramp.fits");
    if (!WriteRampFits(path)) GTEST_SKIP() << "no astropy";
    OpenParameters request;
    ComponentBase* source = OpenSourceFileReport(&cui(), nullptr, &request, path.c_str());
    ASSERT_NE(source, nullptr);
    PumpFor(500);

    WorkspaceComponent* ws = AsWorkspace(cui().groups[0].workspace);
    ASSERT_NE(ws, nullptr);
    EXPECT_STREQ(ws->title, "Layout");
    uint32_t number = 1;
    DisplayComponent* cell = GetCellByNumber(ws, &number, false);
    ASSERT_NE(cell, nullptr);
    ASSERT_NE(cell->currentDevice, nullptr);
    ASSERT_NE(cell->Graphics(), nullptr);
    gWindow* host = cell->window;
    ASSERT_NE(host, nullptr);

    // The Transformation's output for the whole frame.
    ComponentBase* stage = cell->currentDevice->pin.upstream;
    ASSERT_NE(stage, nullptr);
    EXPECT_TRUE(SameComponentId(stage->GetClassId(), &kTransformationId));
    PullResult frame;
    frame.window.frame = frame.window.section = -1;
    frame.window.width = frame.window.height = 256;
    PullRequest ask;
    ask.readAgain = 1;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        ASSERT_GE(stage->process(stage, &frame, &ask), 2);
    }
    const TypedFrameBuffer& rgb = frame.image;
    ASSERT_EQ(rgb.width, 256u);
    ASSERT_EQ(rgb.height, 256u);
    const uint32_t channels = rgb.rowBytes / rgb.width;
    auto expected = [&](int x, int y) {
        const auto* p = static_cast<const uint8_t*>(rgb.data) + static_cast<size_t>(y) * rgb.rowBytes +
                        static_cast<size_t>(x) * channels;
        return Rgb{p[0], p[1], p[2]};
    };

    // The window painted; the frame's white border gives its corner in the plot area.
    PaintWindow(host);
    const gElement* view = cell->widget;
    const int vx = static_cast<int>(view->x), vy = static_cast<int>(view->y);
    int ox = -1, oy = -1;
    for (int y = 0; y < cell->plotHeight && oy < 0; ++y) {
        for (int x = 0; x < cell->plotWidth; ++x) {
            if (PixelAt(host, vx + x, vy + y) == expected(0, 0)) {
                ox = x;
                oy = y;
                break;
            }
        }
    }
    ASSERT_GE(ox, 0) << "the frame's corner is not in the plot area";
    for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {10, 10}, {128, 40}, {37, 190}, {200, 220}, {254, 254}, {255, 255}}) {
        if (ox + x >= cell->plotWidth || oy + y >= cell->plotHeight) continue;
        EXPECT_TRUE(RgbNear(PixelAt(host, vx + ox + x, vy + oy + y), expected(x, y), 0)) << x << ", " << y;
    }
    // Nothing outside the plot area: the window's background there.
    const Rgb back = Background(host);
    for (auto [x, y] : {std::pair{vx - 1, vy + 5}, {vx + 5, vy - 1}, {vx + cell->plotWidth, vy + 5},
                        {vx + 5, vy + cell->plotHeight}}) {
        if (x < 0 || y < 0 || x >= host->clientWidth || y >= host->clientHeight) continue;
        EXPECT_TRUE(RgbNear(PixelAt(host, x, y), back)) << x << ", " << y;
    }
    // Later repaints show the same picture.
    for (int round = 0; round < 3; ++round) {
        PumpFor(150);
        PaintWindow(host);
        EXPECT_TRUE(RgbNear(PixelAt(host, vx + ox + 10, vy + oy + 10), expected(10, 10), 0)) << round;
    }
    // A picture of the workspace's window for a look, as the cell drew it.
    const std::vector<uint8_t> pixels = ReadBack(host);
    ScreenImage shot;
    shot.width = host->clientWidth;
    shot.height = host->clientHeight;
    for (int y = shot.height - 1; y >= 0; --y) {
        const uint8_t* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(shot.width) * 3;
        for (int x = 0; x < shot.width; ++x) shot.pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
    }
    EXPECT_TRUE(shot.SavePpm(std::string(ORVA_BINARY_DIR) + "/open_file_display.ppm"));
    // And the screen with every window painted.
    for (gWindow* w = gWinList(); w != nullptr; w = w->next) {
        w->dirty = 7;
        for (gWindow* c = w->firstChild; c != nullptr; c = c->firstChild) c->dirty = 7;
    }
    gWinRefreshAll();
    PumpFor(200);
    EXPECT_TRUE(ReadScreen(XDisplay(), 0).SavePpm(std::string(ORVA_BINARY_DIR) + "/open_file_display_screen.ppm"));
}


// The file's cell is the menus' view: the Draw and Edit entries act on it. Rectangle
// (F7) starts the Rect tool of its image window with its mark in the menu, Cancel ends it
// and the mark goes; a shape made on the view is undone and redone through the Edit menu.
TEST_F(OpenFileDisplay, DrawAndEditMenusActOnTheOpenedFilesView) {
    const std::string path = folder.File("ramp.fits");
    if (!WriteRampFits(path)) GTEST_SKIP() << "no astropy";
    MainMenuTable draw = MainMenuRows(MainMenuGroup::Draw);
    MainMenuTable edit = MainMenuRows(MainMenuGroup::EditFirst);
    ASSERT_NE(draw.rows[7].item, nullptr);
    // Before any data: everything greyed.
    DrawMenuUpdate(draw.rows, 0);
    EXPECT_EQ(draw.rows[7].item->state, 1);

    OpenParameters request;
    ASSERT_NE(OpenSourceFileReport(&cui(), nullptr, &request, path.c_str()), nullptr);
    PumpFor(500);
    WorkspaceComponent* ws = AsWorkspace(cui().groups[0].workspace);
    ASSERT_NE(ws, nullptr);
    uint32_t number = 1;
    DisplayComponent* cell = GetCellByNumber(ws, &number, false);
    ASSERT_NE(cell, nullptr);
    ASSERT_NE(cell->Graphics(), nullptr);
    EXPECT_EQ(cui().menuTarget, cell);
    EXPECT_EQ(cui().menuView, static_cast<void*>(static_cast<ComponentBase*>(cell)));

    DrawMenuUpdate(draw.rows, 0);
    for (int32_t i = 1; i < draw.count; ++i) {
        if (draw.rows[i].label == nullptr) continue;
        EXPECT_EQ(draw.rows[i].item->state, 0) << draw.rows[i].label;
    }
    EXPECT_EQ(draw.rows[0].item->state, 1) << "Cancel without a placement";

    // "Rectangle" (F7): the Rect tool of the view, role Statistic (tool mode 6).
    ASSERT_EQ(std::string(draw.rows[7].label), "Rectangle");
    draw.rows[7].handler(draw.rows[7].item, 0);
    const GraphicsHost& host = cell->host;
    EXPECT_EQ(host.toolActive, 1);
    EXPECT_EQ(host.toolKind, 4);
    EXPECT_EQ(host.toolMode, 6);
    EXPECT_EQ(draw.rows[7].item->check, 1);
    DrawMenuUpdate(draw.rows, 0);
    EXPECT_EQ(draw.rows[0].item->state, 0) << "Cancel while placing";
    draw.rows[0].handler(draw.rows[0].item, 0);
    EXPECT_EQ(host.toolActive, 0);
    EXPECT_EQ(draw.rows[7].item->check, 0);

    // A shape made on the view: the Edit menu undoes and redoes it.
    auto* shapes = static_cast<ShapeContainer*>(cell->View()->shapes);
    ASSERT_NE(shapes, nullptr);
    EditMenuFirstUpdate(edit.rows, 0);
    EXPECT_EQ(edit.rows[0].item->state, 1) << "Undo with nothing to undo";
    ShapeRequest r;
    r.kind = kKindRect;
    r.role = kRoleGaugeArea;
    r.start[0] = 10.0f;
    r.start[1] = 20.0f;
    r.end[0] = 60.0f;
    r.end[1] = 50.0f;
    Shape* made = shapes->ShapeFromRequest(r, nullptr, nullptr);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(shapes->ShapeCount(), 1u);
    // Its files are named after the data file the view shows.
    char name[4096];  // a path's room
    ASSERT_TRUE(DefaultShapeFileName(made, name, nullptr, false, 1, kRoleUnset));
    EXPECT_EQ(std::string(name), folder.File("ramp_Rect_" + std::to_string(made->serial) + ".msk"));
    EditMenuFirstUpdate(edit.rows, 0);
    EXPECT_EQ(edit.rows[0].item->state, 0) << "Undo";
    EXPECT_EQ(edit.rows[1].item->state, 1) << "Redo";
    EXPECT_EQ(edit.rows[3].item->state, 0) << "Cut with a current shape";
    edit.rows[0].handler(edit.rows[0].item, 0);
    EXPECT_EQ(shapes->ShapeCount(), 0u);
    EditMenuFirstUpdate(edit.rows, 0);
    EXPECT_EQ(edit.rows[1].item->state, 0) << "Redo";
    edit.rows[1].handler(edit.rows[1].item, 0);
    EXPECT_EQ(shapes->ShapeCount(), 1u);
    EXPECT_EQ(shapes->current, made);
}


// Shapes on the opened file's view, end to end: the Rect tool placed by two clicks of
// the pointer makes a Statistic rectangle whose outline and label show in the window;
// with "Delete Anchor Point" chosen a click on a circle picks the circle and is refused;
// a shape the clip removed comes back with Ctrl+Z and is drawn again.
TEST_F(OpenFileDisplay, ShapesArePlacedDrawnEditedAndUndoneOnTheView) {
    const std::string path = folder.File("ramp.fits");
    if (!WriteRampFits(path)) GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = OpenIntoCellOne(path);
    ASSERT_NE(cell, nullptr);
    auto* w = dynamic_cast<Image2DWindow*>(cell->Graphics());
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->Device(), nullptr);
    auto* shapes = static_cast<ShapeContainer*>(cell->View()->shapes);
    ASSERT_NE(shapes, nullptr);
    ASSERT_NE(shapes->view, nullptr);
    gWindow* host = cell->window;
    const gElement* view = cell->widget;
    // Window pixels of a frame point.
    auto windowPoint = [&](double fx, double fy) { return WindowPoint(shapes, fx, fy); };
    auto near = [&](int x, int y, Rgb want) { return NearColour(host, x, y, want); };

    // Rectangle (F7) from the menu, then a press and release at one corner and at the other.
    MainMenuTable draw = MainMenuRows(MainMenuGroup::Draw);
    draw.rows[7].handler(draw.rows[7].item, 0);
    auto [ax, ay] = windowPoint(20.0, 30.0);
    auto [bx, by] = windowPoint(120.0, 90.0);
    auto click = [&](int x, int y) {
        w->OnPointerMove(static_cast<float>(x), static_cast<float>(y));
        w->OnButton(true);
        w->OnButton(false);
    };
    click(ax, ay);
    w->OnPointerMove(static_cast<float>((ax + bx) / 2), static_cast<float>((ay + by) / 2));
    click(bx, by);
    ASSERT_EQ(shapes->ShapeCount(), 1u);
    Shape* rect = shapes->current;
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->header.kind, kKindRect);
    EXPECT_EQ(rect->header.role, kRoleStatistic);
    EXPECT_EQ(cell->host.toolActive, 0) << "a Rect ends its tool";
    EXPECT_EQ(draw.rows[7].item->check, 0);
    EXPECT_EQ(shapes->drawing, nullptr);

    shapes->labelLevel = 2;
    PaintWindow(host);
    const AnchorBuffer& a = rect->header.anchors;
    auto [tx, ty] = windowPoint((a.X(0) + a.X(1)) / 2.0, a.Y(0));
    EXPECT_TRUE(near(tx, ty, {128, 230, 230})) << "the outline, selected-current: " << PixelAt(host, tx, ty);
    int yellow = 0;
    for (int y = 0; y < cell->plotHeight; ++y)
        for (int x = 0; x < cell->plotWidth; ++x)
            yellow += Near(PixelAt(host, static_cast<int>(view->x) + x, static_cast<int>(view->y) + y), {255, 255, 191});
    EXPECT_GT(yellow, 40) << "the label box";

    // A circle, the anchor tools in edit mode, and "Delete Anchor Point" from the menu.
    ShapeRequest r;
    r.kind = kKindCircle;
    r.role = kRoleGaugeArea;
    r.start[0] = 150.0f;
    r.start[1] = 150.0f;
    r.end[0] = 190.0f;
    r.end[1] = 190.0f;
    Shape* circle = shapes->ShapeFromRequest(r, nullptr, nullptr);
    ASSERT_NE(circle, nullptr);
    shapes->editMode = kEditAnchors;
    MainMenuTable edit = MainMenuRows(MainMenuGroup::EditFirst);
    EditMenuFirstUpdate(edit.rows, 0);
    ASSERT_EQ(std::string(edit.rows[11].label), "Delete Anchor Point");
    EXPECT_EQ(edit.rows[11].item->state, 0);
    edit.rows[11].handler(edit.rows[11].item, 0);
    EXPECT_EQ(shapes->anchorTool, kToolDeleteAnchor);
    PaintWindow(host);
    auto [cx, cy] = windowPoint(150.0, 150.0);
    ASSERT_TRUE(gWinMakeCurrent(host));
    gElement* picked = gPick(host, cx, cy);
    ASSERT_NE(picked, nullptr);
    EXPECT_EQ(ShapeOfGlyphWidget(picked), circle) << "the shape, not the picture under it";
    gCursorPos = platform::Point{cx, cy};
    gMouseButtonState() = 1;
    ASSERT_NE(picked->onPress, nullptr);
    picked->onPress(picked, picked->handlerData);
    gMouseButtonState() = 0;
    picked->onPress(picked, picked->handlerData);
    EXPECT_EQ(shapes->ShapeCount(), 2u) << "the circle stays";
    gElement* status = cui().groups[0].statusWidget;
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text, kCantRemoveAnchorText);
    shapes->SetAnchorTool(kToolNone);

    // A Point outside the frame: the clip removes it, Ctrl+Z brings the same shape back.
    ShapeRequest p;
    p.kind = kKindPoint;
    p.role = kRoleGauge;
    p.start[0] = p.end[0] = -12.0f;
    p.start[1] = p.end[1] = 40.0f;
    Shape* outside = shapes->ShapeFromRequest(p, nullptr, nullptr);
    ASSERT_NE(outside, nullptr);
    ASSERT_EQ(shapes->current, outside);
    EditMenuFirstUpdate(edit.rows, 0);
    ASSERT_EQ(std::string(edit.rows[14].label), "Clip Anchor Points");
    edit.rows[14].handler(edit.rows[14].item, 0);
    EXPECT_EQ(shapes->ShapeCount(), 2u);
    EXPECT_FALSE(shapes->IsInList(outside));
    EXPECT_EQ(w->OnKeyDown('Z' | kKeyCtrlL, 0), 1);
    EXPECT_EQ(shapes->ShapeCount(), 3u);
    EXPECT_TRUE(shapes->IsInList(outside));
    PaintWindow(host);
    auto [px, py] = windowPoint(-12.0, 40.0);
    if (px - 5 >= view->x && px + 5 < view->x + cell->plotWidth) {
        EXPECT_FALSE(Near(PixelAt(host, px, py), Background(host), 0)) << "the Point's cross is drawn again";
    }
}


// Stands where the chart of the file's Reduction will pull: takes whatever it offers.
class ChartEnd : public ConsumerLink {
public:
    void OnUpstreamChanged() override {}
    bool AcceptFormat(FormatRequest*) override { return true; }
};

// The measuring road in the program: a Statistic rectangle made on the opened file's
// view goes to the Reduction of the file's chain, whose chart in "Chart Tools" pulls it;
// the statistic of the ramp under the rectangle is the ramp's own (a box of 50 x + 20 y
// has its mean at its centre and its extremes at two corners), and the centre mark left
// on the shape shows on the view. A pull on the user-interface thread marks the view for
// the next repaint; one on another thread has the view's thread paint it.
TEST_F(OpenFileDisplay, AStatisticRectangleOnTheViewIsMeasuredByTheFilesReduction) {
    const std::string path = folder.File("ramp.fits");
    if (!WriteRampFits(path)) GTEST_SKIP() << "no astropy";
    ComponentBase* source = nullptr;
    DisplayComponent* cell = OpenIntoCellOne(path, &source);
    ASSERT_NE(cell, nullptr);
    auto* shapes = static_cast<ShapeContainer*>(cell->View()->shapes);
    ASSERT_NE(shapes, nullptr);
    ASSERT_NE(source->owner, nullptr);
    auto* reduction = dynamic_cast<ReductionComponent*>(source->owner->currentWindows[3]);
    ASSERT_NE(reduction, nullptr);
    ASSERT_NE(reduction->firstLink, nullptr) << "the chart of the Reduction";

    ShapeRequest r;
    r.kind = kKindRect;
    r.role = kRoleStatistic;
    r.start[0] = 40.0f;
    r.start[1] = 50.0f;
    r.end[0] = 100.0f;
    r.end[1] = 80.0f;
    Shape* rect = shapes->ShapeFromRequest(r, nullptr, nullptr);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(reduction->CurrentItemShape(), rect) << "the shape is the Reduction's item";
    PumpFor(300);

    const StatisticBlock* block = reduction->Statistic();
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(block->filled, 1u) << "the chart pulled the Reduction";
    const StatisticResult& s = block->Results()[0];
    const double x0 = static_cast<double>(block->boxX), y0 = static_cast<double>(block->boxY);
    const double w = block->boxW, h = block->boxH;
    ASSERT_GT(x0, 0.0);
    ASSERT_GT(y0, 0.0);
    ASSERT_LT(x0 + w, 255.0) << "the border stays outside";
    ASSERT_LT(y0 + h, 255.0);
    EXPECT_GE(w, 59.0);
    EXPECT_GE(h, 29.0);
    EXPECT_EQ(s.npro, static_cast<uint32_t>(w * h));
    EXPECT_EQ(s.min, 50.0 * x0 + 20.0 * y0);
    EXPECT_EQ(s.max, 50.0 * (x0 + w - 1) + 20.0 * (y0 + h - 1));
    EXPECT_NEAR(s.mean, 50.0 * (x0 + (w - 1) / 2) + 20.0 * (y0 + (h - 1) / 2), 1e-9);
    EXPECT_EQ(std::tuple(rect->statMark.centreX, rect->statMark.centreY), std::tuple(s.xc, s.yc));
    EXPECT_GT(s.xc, x0 + w / 2) << "the brighter right side pulls the centroid";

    // The centre mark, a red point, on the painted view.
    gWindow* host = cell->window;
    ASSERT_NE(host, nullptr);
    PaintWindow(host);
    auto [mx, my] = WindowPoint(shapes, s.xc + 0.5, s.yc + 0.5);
    EXPECT_TRUE(NearColour(host, mx, my, {255, 0, 0})) << "the centre mark: " << PixelAt(host, mx, my);

    // A pull on this thread leaves the repaint to the next refresh of dirty windows.
    ChartEnd chart;
    ASSERT_TRUE(ConsumerAttach(&chart, reduction));
    host->dirty = 0;
    PullResult result;
    result.window.frame = 0;
    result.window.section = -1;
    PullRequest fresh;
    fresh.readAgain = 1;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        ASSERT_EQ(ComponentPull(&chart, &result, &fresh), 5);
    }
    EXPECT_EQ(result.status, 701);
    EXPECT_EQ(host->dirty, 7u) << "the view waits to show the marks";
    gWinRefreshAll();
    EXPECT_EQ(host->dirty, 0u) << "painted";

    // A pull on another thread has the window's own thread paint it.
    PumpFor(100);
    const size_t waiting = platform::PendingPostedMessages();
    PullResult again;
    again.window.frame = 0;
    again.window.section = -1;
    int32_t code = 0;
    std::thread puller([&] {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        code = ComponentPull(&chart, &again, &fresh);
    });
    puller.join();
    EXPECT_EQ(code, 5);
    EXPECT_EQ(host->dirty, 0u) << "left to the window's thread";
    EXPECT_EQ(platform::PendingPostedMessages(), waiting + 1) << "a paint waits in the window's queue";
    PumpFor(100);
    EXPECT_EQ(platform::PendingPostedMessages(), 0u);
    ConsumerDetach(&chart);
}


// File > Open with the file dialog's scripted backend: two files chosen at once go into
// one new project, the last chosen first, and the one opened last shows in cell 1.
// The Extraction/Statistic page's "Create" in the program: the Reduction's own display is
// its chart in "Chart Tools", which draws no shapes; the new masks go to the view of the
// file, where they show and are the Reduction's items.
TEST_F(OpenFileDisplay, CreateOfTheExtractionPageDrawsTheMaskOnTheFilesView) {
    const std::string path = folder.File("ramp.fits");
    if (!WriteRampFits(path)) GTEST_SKIP() << "no astropy";
    ComponentBase* source = nullptr;
    DisplayComponent* cell = OpenIntoCellOne(path, &source);
    ASSERT_NE(cell, nullptr);
    auto* shapes = static_cast<ShapeContainer*>(cell->View()->shapes);
    ASSERT_NE(shapes, nullptr);
    auto* reduction = dynamic_cast<ReductionComponent*>(source->owner->currentWindows[3]);
    ASSERT_NE(reduction, nullptr);
    ASSERT_NE(reduction->portRecord, nullptr) << "the chart shows the Reduction";

    // "Statistic mask" > "Rectangle": the central half of the 256 x 256 frame.
    ASSERT_TRUE(CreateReductionItem(reduction, false, true, kKindRect));
    ASSERT_EQ(shapes->ShapeCount(), 1u);
    Shape* rect = shapes->current;
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(reduction->CurrentItemShape(), rect);
    EXPECT_EQ(std::tuple(rect->header.kind, rect->header.role), std::tuple(kKindRect, kRoleStatistic));
    const AnchorBuffer& a = rect->header.anchors;
    ASSERT_GE(a.Count(), 2u);
    EXPECT_EQ(std::tuple(a.X(0), a.Y(0)), std::tuple(64.0f, 64.0f));
    // "Slice mask" > "Line": a second mask on the same view, across the frame's middle.
    ASSERT_TRUE(CreateReductionItem(reduction, false, true, kKindPolyLine));
    EXPECT_EQ(shapes->ShapeCount(), 2u);
    ASSERT_NE(reduction->CurrentItemShape(), nullptr);
    EXPECT_EQ(reduction->CurrentItemShape()->header.role, kRoleSlice);
}

TEST_F(OpenFileDisplay, FileOpenPutsTwoChosenFilesIntoOneProject) {
    if (!WriteRampFits(folder.File("a.fits")) || !WriteRampFits(folder.File("b.fits"))) GTEST_SKIP() << "no astropy";
    ScriptedFileDialog dialog;
    ScopedFileDialogBackend scope(&dialog);
    dialog.Push(ScriptedFileDialog::Choose({"a.fits", "b.fits"}, folder.Path()));
    ASSERT_NE(TheMainMenuHooks().openDataFiles, nullptr);
    TheMainMenuHooks().openDataFiles(&cui(), 0);
    PumpFor(300);
    ASSERT_EQ(dialog.Requests().size(), 1u);
    EXPECT_EQ(dialog.Requests()[0].title, "Open data file(s)");
    ASSERT_EQ(cui().projectCount, 1);
    std::vector<std::string> names;
    for (ListNode* n = cui().currentProject->items.head; n != nullptr; n = n->next)
        names.push_back(static_cast<ProjectItem*>(n->item)->path.FileName());
    EXPECT_EQ(names, (std::vector<std::string>{"b.fits", "a.fits"}));
    WorkspaceComponent* ws = AsWorkspace(cui().groups[0].workspace);
    ASSERT_NE(ws, nullptr);
    uint32_t number = 1;
    DisplayComponent* cell = GetCellByNumber(ws, &number, false);
    ASSERT_NE(cell, nullptr);
    EXPECT_NE(cell->currentDevice, nullptr);
}

#endif

}  // namespace
}  // namespace orva
