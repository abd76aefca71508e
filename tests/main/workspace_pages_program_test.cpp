// The workspace's tool pages on the X server with opened files: the readouts follow
// the pointer over a FITS image, "R/I" switches the rounding of the coordinates, a
// colour BMP shows its three channel buttons, the fast selector steps a cube, and the
// fast selector and transport windows draw their texts and glyphs side by side.
// Test files are written by astropy and PIL.
#include <gtest/gtest.h>

#ifdef ORVA_OPEN_FILE_DISPLAY
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "app/cui.h"
#include "app/group_layout.h"
#include "app/image_device.h"
#include "program_shell.h"
#include "app/image_window.h"
#include "app/chart_window.h"
#include "app/ui_elements.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/number_field.h"
#include "common/number_text.h"
#include "main/chart_services.h"
#include "main/display_services.h"
#include "main/menu_services.h"
#include "main/playback_services.h"
#include "main/workspace_page_services.h"
#include "platform/timer_service.h"
#include "io/frame_cursor.h"
#include "shapes/shape_container.h"
#include "test_support.h"
#include "views/display_cell.h"
#include "views/fast_selector.h"
#include "views/grid_page.h"
#include "views/open_data_files.h"
#include "views/playback.h"
#include "views/readout_pages.h"
#include "views/tool_menu.h"
#include "views/transport_page.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
#include "views/zoom_pages.h"
#endif

namespace orva {
namespace {

#ifndef ORVA_OPEN_FILE_DISPLAY

TEST(WorkspacePagesProgram, ReadoutsFollowThePointer) { GTEST_SKIP() << "this build has no open road"; }

#else

using namespace testing_util;

using testing_program::RunPython;

std::string Digits(int digits, int decimals, double v) {
    char text[64];
    const int n = FormatDoubleDigits(digits, decimals, v, text);
    return std::string(text, static_cast<size_t>(n));
}

class WorkspacePagesProgram : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        services_.emplace();
        InstallWorkspacePageServices();
        InstallMenuServices();
        InstallDisplayServices();
        TheComponentServices().createImageWindow = &CreateImageWindow;
        TheComponentServices().pollComponentState = &PollComponentState;
        Start(false);
        // Where "Chart Tools" stands over the main window (a small screen), it is put
        // away, as the user puts it away to reach the picture.
        platform::Rect m{}, t{};
        if (Main() != nullptr && Tools() != nullptr && platform::GetWindowRect(Main()->hwnd, &m) &&
            platform::GetWindowRect(Tools()->hwnd, &t) && RectsOverlap(m, t))
            ToolWindowSetShown(&cui(), false);
        // A test before this one may have ended the program in this process, and with
        // it the playback timer's thread.
        platform::TheTimerService().Reopen();
        InstallPlaybackServices();
        InstallWorkspacePageServices();
    }
    void TearDown() override {
        if (IsSkipped()) return;
        TheEventTimer().Stop(false);
        TheEventTimer().ForgetPlayback();
        gSetFrameHook(nullptr);
        gSetOnceHook(nullptr);
        Stop();
        services_.reset();
    }

    // Opens a file into cell 1 of the main workspace; the cell, or null.
    DisplayComponent* Open(const std::string& path) {
        DisplayComponent* cell = testing_program::OpenIntoCellOne(&cui(), path);
        ws = AsWorkspace(cui().groups[0].workspace);
        return cell != nullptr && cell->Graphics() != nullptr ? cell : nullptr;
    }
    // Opens the window of a workspace page as the shell does.
    // The page opens in the main window unless another window is named.
    UIElement* OpenPage(int32_t id, uint32_t index, gWindow* parent = nullptr) {
        UIWindowRecord* r = UIWindowRecordFind(ws->container, id);
        if (r == nullptr) r = CreateUIWindow(ws->container, id, 0);
        if (r == nullptr) return nullptr;
        if (r->element.window == nullptr)
            OpenComponentWindow(ws->container, parent != nullptr ? parent : Main(), kWindowToggle, 0, r);
        PumpFor(100);
        return WorkspaceOpenPage(ws, index);
    }
    // The window point of a frame point of the cell's view.
    static std::pair<int, int> WindowPoint(DisplayComponent* cell, double fx, double fy) {
        auto* shapes = static_cast<ShapeContainer*>(cell->View()->shapes);
        shapes->view->Follow();
        const ShapeView& v = *shapes->view;
        const double zx = v.pixelScale.flag ? v.pixelScale.x : 1.0, zy = v.pixelScale.flag ? v.pixelScale.y : 1.0;
        return {static_cast<int>(std::floor(v.displayOffsetX + v.originX + fx * zx)),
                static_cast<int>(std::floor(v.displayOffsetY + v.originY + fy * zy))};
    }
    // The pointer to a window point, coming from a point beside it: the first motion
    // into a window only enters it.
    static void PointAt(const gWindow* window, int x, int y) {
        FakeMotionIn(window, x + 4, y + 4, 60);
        FakeMotionIn(window, x, y, 100);
    }
    // The window point at the middle of a page widget.
    static std::pair<int, int> Middle(const gElement* e) {
        const gWindow* w = e->window;
        const float cx = e->x + e->width / 2.0f, cy = e->y + e->height / 2.0f;
        return {static_cast<int>((e->style & kWsRight) != 0 ? static_cast<float>(w->clientWidth) - cx : cx),
                static_cast<int>((e->style & kWsBottom) != 0 ? static_cast<float>(w->clientHeight) - cy : cy)};
    }
    // A click through the X server on the middle of a page widget.
    static void Click(const gElement* e) {
        const gWindow* w = e->window;
        // Page windows may lie over each other: the clicked one comes to the front.
        XRaiseWindow(XDisplay(), platform::X11WindowOf(w->hwnd));
        XSync(XDisplay(), False);
        FocusWindow(w);
        auto [x, y] = Middle(e);
        FakeMotionIn(w, x, y);
        FakeButton(true);
        PumpFor(40);
        FakeButton(false);
        PumpFor(100);
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
    WorkspaceComponent* ws = nullptr;
};

TEST_F(WorkspacePagesProgram, ReadoutsFollowThePointerOverAFitsImage) {
    const std::string path = folder.File("ramp.fits");
    // 256 x 256 16-bit samples of 50 x + 20 y with BSCALE 0.5 and BZERO 100: the physical
    // value of column x, row y is 0.5 (50 x + 20 y) + 100.
    if (!RunPython(path + ".py", "import numpy as np\n"
                                 "from astropy.io import fits\n"
                                 "y, x = np.mgrid[0:256, 0:256]\n"
                                 "h = fits.PrimaryHDU((x * 50 + y * 20).astype(np.int16))\n"
                                 "h.header['BSCALE'] = 0.5\n"
                                 "h.header['BZERO'] = 100.0\n"
                                 "h.writeto('" + path + "', overwrite=True)\n"))
        GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    UIElement* value = OpenPage(kWsIdValue, kWsPageValue);
    UIElement* coords = OpenPage(kWsIdCoordinates, kWsPageCoordinates);
    ASSERT_NE(value, nullptr);
    ASSERT_NE(coords, nullptr);
    gElement* c = PageSlot(value, kValuePosition);
    gElement* v = PageSlot(value, kValueValues);
    gElement* x = PageSlot(coords, kCoordX);
    gElement* y = PageSlot(coords, kCoordY);
    ASSERT_TRUE(c != nullptr && v != nullptr && x != nullptr && y != nullptr);

    gWindow* host = cell->window;
    // Two frame points that no page window covers.
    std::vector<std::pair<double, double>> points;
    for (auto p : {std::pair{100.5, 60.5}, {200.5, 30.5}, {30.5, 200.5}, {220.5, 220.5}, {150.5, 120.5}, {60.5, 90.5}}) {
        auto [wx, wy] = WindowPoint(cell, p.first, p.second);
        platform::Point screen{wx, wy};
        platform::ClientToScreen(host->hwnd, &screen);
        if (points.size() < 2 && wx < host->clientWidth && wy < host->clientHeight &&
            platform::WindowFromPoint(screen) == host->hwnd)
            points.push_back(p);
    }
    ASSERT_EQ(points.size(), 2u);
    for (auto [fx, fy] : points) {
        auto [wx, wy] = WindowPoint(cell, fx, fy);
        auto there = [&] {
            return std::fabs(ws->readouts.coords[0] - fx) < 1.01 && std::fabs(ws->readouts.coords[1] - fy) < 1.01;
        };
        for (int attempt = 0; attempt < 5 && !there(); ++attempt) {
            PointAt(host, wx, wy);
            PumpUntil(there, 10000);
        }
        PumpFor(50);
        const double dx = ws->readouts.coords[0], dy = ws->readouts.coords[1];
        // The frame point under the pointer, whatever the origin of the coordinates.
        const int col = static_cast<int>(std::floor(fx)), row = static_cast<int>(std::floor(fy));
        EXPECT_LT(std::fabs(dx - fx), 1.01) << dx;
        EXPECT_LT(std::fabs(dy - fy), 1.01) << dy;
        EXPECT_EQ(v->text, Digits(10, 3, 0.5 * (50.0 * col + 20.0 * row) + 100.0)) << col << ", " << row;
        // Rounded up by default.
        EXPECT_EQ(x->text, Digits(6, 2, std::ceil(dx)));
        EXPECT_EQ(y->text, Digits(6, 2, std::ceil(dy)));
        EXPECT_EQ(c->text, Digits(14, 2, std::ceil(dx)) + "  " + Digits(14, 2, std::ceil(dy)));
    }
    // "R/I" released: real coordinates; pressed again: rounded.
    gElement* round = PageSlot(coords, kCoordRound);
    ASSERT_NE(round, nullptr);
    const double dx = ws->readouts.coords[0];
    const uint32_t was = round->value;
    Click(round);
    ASSERT_NE(round->value, was) << "the toggle took the click";
    const std::string real = Digits(6, 2, dx), rounded = Digits(6, 2, std::ceil(dx));
    EXPECT_EQ(x->text, round->value != 0 ? rounded : real);
    Click(round);
    EXPECT_EQ(x->text, round->value != 0 ? rounded : real);
    EXPECT_NE(real, rounded);
}

TEST_F(WorkspacePagesProgram, AColourBitmapShowsThreeChannelButtons) {
    const std::string path = folder.File("colour.bmp");
    if (!RunPython(path + ".py", "from PIL import Image\n"
                                 "im = Image.new('RGB', (64, 48))\n"
                                 "im.putdata([(x * 4, y * 5, 200) for y in range(48) for x in range(64)])\n"
                                 "im.save('" + path + "')\n"))
        GTEST_SKIP() << "no PIL";
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    UIElement* channels = OpenPage(kWsIdValue, kWsPageChannels);
    ASSERT_NE(channels, nullptr);
    auto [wx, wy] = WindowPoint(cell, 20.5, 20.5);
    PointAt(cell->window, wx, wy);
    PumpUntil([&] { return PageSlot(channels, 2)->shown != 0; }, 10000);
    EXPECT_EQ(std::tuple(PageSlot(channels, 0)->text, PageSlot(channels, 1)->text, PageSlot(channels, 2)->text),
              std::tuple("1", "2", "3"));
    for (uint32_t s = 0; s < 3; ++s) EXPECT_NE(PageSlot(channels, s)->shown, 0) << s;
    EXPECT_EQ(PageSlot(channels, kChannelMarker)->shown, 0);

    // Each button selects its own channel and the value line keeps all three (R 80, G
    // 100, B 200 at pixel 20, 20); "1" goes back to R.
    UIElement* value = OpenPage(kWsIdValue, kWsPageValue);
    ASSERT_NE(value, nullptr);
    gElement* v = PageSlot(value, kValueValues);
    const std::string all = Digits(10, 3, 80) + "  " + Digits(10, 3, 100) + "  " + Digits(10, 3, 200);
    for (const uint32_t button : {1u, 2u, 0u}) {
        SCOPED_TRACE(button + 1);
        Click(PageSlot(channels, button));
        PointAt(cell->window, wx + 1, wy);
        PumpUntil([&] { return PageSlot(channels, button)->value != 0; }, 5000);
        PointAt(cell->window, wx, wy);
        PumpUntil([&] { return v->text == all; }, 5000);
        EXPECT_EQ(v->text, all);
        for (uint32_t s = 0; s < 3; ++s) {
            EXPECT_NE(PageSlot(channels, s)->shown, 0) << s;
            EXPECT_EQ(PageSlot(channels, s)->value != 0, s == button) << s;
        }
    }
}

// Dark (text or glyph) pixels inside a widget's box, its frame left out.
int DarkPixels(const gElement* e) {
    const gWindow* w = e->window;
    int dark = 0;
    for (float fy = e->y + 2.0f; fy < e->y + e->height - 2.0f; fy += 1.0f) {
        for (float fx = e->x + 2.0f; fx < e->x + e->width - 2.0f; fx += 1.0f) {
            const Rgb p = WidgetPixel(w, e, fx, fy);
            if (std::max({p.r, p.g, p.b}) < 80) ++dark;
        }
    }
    return dark;
}

TEST_F(WorkspacePagesProgram, TheToolPagesShowTheirTextsAndGlyphsSideBySide) {
    // The main workspace opens its fast selector and transport windows at start.
    ws = AsWorkspace(cui().groups[0].workspace);
    ASSERT_NE(ws, nullptr);
    PumpFor(200);
    UIElement* transport = WorkspaceOpenPage(ws, kWsPageTransport);
    UIElement* selector = WorkspaceOpenPage(ws, kWsPageFastSelector);
    ASSERT_NE(transport, nullptr);
    ASSERT_NE(selector, nullptr);
    gWindow* tw = transport->window;
    gWindow* sw = selector->window;
    ASSERT_TRUE(tw != nullptr && sw != nullptr && tw != sw);

    // Every text and glyph of the pages has a font with glyphs to draw.
    for (uint32_t s = 0; s < kTransportSlotCount; ++s) {
        if (s == kTransportSeekBar) continue;
        EXPECT_TRUE(gFontHasLists(PageSlot(transport, s)->font)) << "transport slot " << s;
    }
    for (uint32_t s = 0; s < kSelSlotCount; ++s)
        EXPECT_TRUE(gFontHasLists(PageSlot(selector, s)->font)) << "selector slot " << s;

    // Read back: the buttons' texts and glyphs and the field numbers are drawn in dark
    // pixels over the light faces (the step size is greyed while step mode is off).
    PaintWindow(tw);
    const struct {
        uint32_t slot;
        const char* what;
    } drawn[] = {{kTransportStepMode, "Step"}, {kTransportDrawV, "V"},        {kTransportDrawL, "L"},
                 {kTransportRateUnit, "F"},    {kTransportStar, "*"},        {kTransportPlay, "play glyph"},
                 {kTransportStepBack, "step back glyph"}, {kTransportToLast, "to last glyph"},
                 {kTransportRate, "rate"}};
    for (const auto& d : drawn) {
        const gElement* e = PageSlot(transport, d.slot);
        ASSERT_NE(e, nullptr) << d.what;
        EXPECT_GE(DarkPixels(e), 3) << d.what << " at " << e->x << ", " << e->y;
    }
    PaintWindow(sw);
    for (uint32_t s : {kSelFrameNext, kSelProjectBack, kSelFrameCurrent})
        EXPECT_GE(DarkPixels(PageSlot(selector, s)), 3) << "selector slot " << s;

    // The frame number and the achieved rate keep their widths, 66 and 35, side by side
    // in one row: a frame number never runs into the rate ("2" and "19.87", not "219.87").
    const gElement* frameText = PageSlot(transport, kTransportFrameText);
    const gElement* rateText = PageSlot(transport, kTransportRateText);
    ASSERT_TRUE(frameText != nullptr && rateText != nullptr);
    EXPECT_EQ(frameText->cellWidth, 66.0f);
    EXPECT_EQ(rateText->cellWidth, 35.0f);
    EXPECT_EQ(frameText->y, rateText->y);
    EXPECT_GT(rateText->x, frameText->x + frameText->cellWidth)
        << "frame text " << frameText->x << " + " << frameText->cellWidth << ", rate text at " << rateText->x;
    const gElement* unit = PageSlot(transport, kTransportRateUnit);
    EXPECT_GE(unit->x, rateText->x + rateText->cellWidth);
    EXPECT_LE(unit->x + unit->cellWidth, static_cast<float>(tw->clientWidth)) << "the row fits its window";

    // The seek bar has a row of its own.
    const gElement* bar = PageSlot(transport, kTransportSeekBar);
    const gElement* play = PageSlot(transport, kTransportPlay);
    ASSERT_TRUE(bar != nullptr && play != nullptr);
    EXPECT_TRUE(bar->y >= play->y + play->height || play->y >= bar->y + bar->height)
        << "bar at " << bar->y << ", buttons at " << play->y;

    // The two windows lie side by side, the transport page right of the fast selector,
    // their tops level.
    platform::Rect a, b;
    ASSERT_TRUE(platform::GetWindowRect(sw->hwnd, &a));
    ASSERT_TRUE(platform::GetWindowRect(tw->hwnd, &b));
    EXPECT_GE(b.left, a.right) << "the transport page covers the fast selector";
    EXPECT_EQ(b.top, a.top);
}

TEST_F(WorkspacePagesProgram, TheFastSelectorStepsACube) {
    const std::string path = folder.File("cube.fits");
    // Ten frames of 64 x 64: even frames a ramp, odd frames the ramp squared and raised by
    // 3000. Each frame is shown over its own range: the picture changes by the shape.
    if (!RunPython(path + ".py", "import numpy as np\n"
                                 "from astropy.io import fits\n"
                                 "z, y, x = np.mgrid[0:10, 0:64, 0:64]\n"
                                 "a = ((x + y) * 10).astype(np.float64)\n"
                                 "a[1::2] = 3000 + a[1::2] ** 2 / 1260\n"
                                 "a = a.astype(np.int16)\n"
                                 "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n"))
        GTEST_SKIP() << "no astropy";
    // The page is open before the file: the frame count it shows comes from the open.
    ws = AsWorkspace(cui().groups[0].workspace);
    ASSERT_NE(ws, nullptr);
    UIElement* selector = OpenPage(kWsIdFastSelector, kWsPageFastSelector);
    ASSERT_NE(selector, nullptr);
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    // The transport window opens beside it; closed, it covers nothing.
    if (UIWindowRecord* r = UIWindowRecordFind(ws->container, kWsIdTransport); r != nullptr && r->element.window)
        OpenComponentWindow(ws->container, Main(), kWindowToggle, 0, r);
    PumpFor(100);
    EXPECT_EQ(PageSlot(selector, kSelFrameTotal)->text, "10");
    EXPECT_EQ(PageSlot(selector, kSelFrameCurrent)->text, "1");

    gWindow* host = cell->window;
    auto [wx, wy] = WindowPoint(cell, 32.5, 32.5);
    PaintWindow(host);
    const Rgb before = PixelAt(host, wx, wy);
    gElement* next = PageSlot(selector, kSelFrameNext);
    ASSERT_NE(next, nullptr);
    Click(next);
    PumpUntil([&] { return PageSlot(selector, kSelFrameCurrent)->text == "2"; }, 10000);
    EXPECT_EQ(PageSlot(selector, kSelFrameCurrent)->text, "2");
    PumpFor(200);
    PaintWindow(host);
    EXPECT_NE(PixelAt(host, wx, wy), before) << "the cell shows the second frame";
}

TEST_F(WorkspacePagesProgram, TheTransportPagePlaysACube) {
    const std::string path = folder.File("cube50.fits");
    // Fifty frames of 32 x 32, frame k a constant 100 k.
    if (!RunPython(path + ".py", "import numpy as np\n"
                                 "from astropy.io import fits\n"
                                 "a = np.repeat((np.arange(50) * 100).astype(np.int16), 32 * 32).reshape(50, 32, 32)\n"
                                 "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n"))
        GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    // The fast selector's window opens beside the transport page's; closed, it covers nothing.
    if (UIWindowRecord* r = UIWindowRecordFind(ws->container, kWsIdFastSelector); r != nullptr && r->element.window)
        OpenComponentWindow(ws->container, Main(), kWindowToggle, 0, r);
    UIElement* transport = OpenPage(kWsIdTransport, kWsPageTransport);
    ASSERT_NE(transport, nullptr);
    FramePlayer* player = ActivePlayer(ws);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->count.load(), 50);

    // One step forward by the arrow, then 20 frames a second.
    Click(PageSlot(transport, kTransportStepForward));
    EXPECT_EQ(player->current.load(), 1);
    EXPECT_EQ(PageSlot(transport, kTransportFrameText)->text, "2");
    gElement* rate = PageSlot(transport, kTransportRate);
    gWgtSetText(rate, "20");
    TransportRateChanged(rate, reinterpret_cast<uintptr_t>(transport));
    EXPECT_EQ(player->interval.load(), 50);
    EXPECT_EQ(rate->text, "20.00");
    // Played at 2 frames a second, a pace any machine keeps: each step waits for its frame
    // to be drawn, and a busy machine draws one in up to half a second (a step more than a
    // period behind its time is dropped), so at 5 a second the rate shown stayed below the
    // pace asked. The frames advance in order and the achieved rate shown comes to the
    // pace asked. It measures from the start, where a busy machine may show the first
    // frames late, so it is waited for while the cube plays in a loop; it is never above
    // the pace asked.
    gWgtSetText(rate, "2");
    TransportRateChanged(rate, reinterpret_cast<uintptr_t>(transport));
    EXPECT_EQ(player->interval.load(), 500);
    EXPECT_EQ(rate->text, "2.00");
    if (PageSlot(transport, kTransportLoop)->value == 0) {
        Click(PageSlot(transport, kTransportLoop));
        PumpFor(600);  // the next click is no double click
    }
    ASSERT_EQ(player->flags.load() & kFramePlayerLoop, kFramePlayerLoop);

    Click(PageSlot(transport, kTransportPlay));
    EXPECT_TRUE(TheEventTimer().Running());
    std::vector<int> frames{player->current.load()};
    double achieved = 0.0, highest = 0.0;
    PumpUntil(
        [&] {
            if (const int now = player->current.load(); now != frames.back()) frames.push_back(now);
            achieved = std::atof(PageSlot(transport, kTransportRateText)->text.c_str());
            highest = std::max(highest, achieved);
            return frames.size() >= 4 && achieved >= 1.8 && achieved <= 2.2;
        },
        30000);
    EXPECT_GE(achieved, 1.8);
    EXPECT_LE(highest, 2.2);
    // In order: each frame seen is ahead of the one before, never behind it (past the last
    // the loop goes on at the first); more than one step may fall between two looks.
    ASSERT_GE(frames.size(), 4u);
    for (size_t k = 1; k < frames.size(); ++k) {
        const int ahead = (frames[k] - frames[k - 1] + 50) % 50;
        EXPECT_TRUE(ahead >= 1 && ahead < 25) << "frame " << k << " of " << ::testing::PrintToString(frames);
    }
    // Play again: the toggle stops playback.
    Click(PageSlot(transport, kTransportPlay));
    PumpFor(200);
    EXPECT_FALSE(TheEventTimer().Running());
    EXPECT_EQ(PageSlot(transport, kTransportPlay)->value, 0u);
    PlaybackEnd(&TheEventTimer(), 0);
    EXPECT_FALSE(TheEventTimer().Running());
}

TEST_F(WorkspacePagesProgram, LoopReverseAndReturnAreClickedAndChangeWherePlaybackEnds) {
    const std::string path = folder.File("cube50.fits");
    if (!RunPython(path + ".py", "import numpy as np\n"
                                 "from astropy.io import fits\n"
                                 "a = np.repeat((np.arange(50) * 100).astype(np.int16), 32 * 32).reshape(50, 32, 32)\n"
                                 "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n"))
        GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    if (UIWindowRecord* r = UIWindowRecordFind(ws->container, kWsIdFastSelector); r != nullptr && r->element.window)
        OpenComponentWindow(ws->container, Main(), kWindowToggle, 0, r);
    UIElement* transport = OpenPage(kWsIdTransport, kWsPageTransport);
    ASSERT_NE(transport, nullptr);
    FramePlayer* player = ActivePlayer(ws);
    ASSERT_NE(player, nullptr);
    const uintptr_t data = reinterpret_cast<uintptr_t>(transport);
    // Clicks beyond the double-click time of each other: each is a click of its own.
    auto ClickApart = [](const gElement* e) {
        Click(e);
        PumpFor(600);
    };
    gElement* rate = PageSlot(transport, kTransportRate);
    gWgtSetText(rate, "100");
    TransportRateChanged(rate, data);
    ASSERT_EQ(player->interval.load(), 10);
    // The saved settings a new player starts with may hold any of the three: each starts off.
    for (uint32_t slot : {kTransportReturn, kTransportLoop, kTransportReverse}) {
        if (PageSlot(transport, slot)->value != 0) ClickApart(PageSlot(transport, slot));
        ASSERT_EQ(PageSlot(transport, slot)->value, 0u) << slot;
    }
    ASSERT_EQ(player->flags.load() & (kFramePlayerReturnAtEnd | kFramePlayerLoop | kFramePlayerReverse), 0);
    auto playToTheEnd = [&] {
        Click(PageSlot(transport, kTransportPlay));
        PumpUntil([] { return !TheEventTimer().Running(); }, 30000);
        EXPECT_FALSE(TheEventTimer().Running());
        PumpFor(600);
    };

    // Return: the play from frame 10 to the last comes back to frame 10.
    player->current.store(10);
    ClickApart(PageSlot(transport, kTransportReturn));
    EXPECT_EQ(player->flags.load() & kFramePlayerReturnAtEnd, kFramePlayerReturnAtEnd);
    EXPECT_EQ(TheFramePlayerSaved().flagWord.load() & kFramePlayerReturnAtEnd, kFramePlayerReturnAtEnd);
    playToTheEnd();
    EXPECT_EQ(player->current.load(), 10);

    // Reverse without return: the play runs back to the first frame and stays there.
    ClickApart(PageSlot(transport, kTransportReturn));
    ClickApart(PageSlot(transport, kTransportReverse));
    EXPECT_EQ(player->flags.load() & (kFramePlayerReturnAtEnd | kFramePlayerReverse), kFramePlayerReverse);
    EXPECT_EQ(player->step.load(), -1);
    EXPECT_EQ(PageSlot(transport, kTransportReverse)->text, std::string(1, static_cast<char>(kGlyphReverseOn)));
    EXPECT_EQ(PageSlot(transport, kTransportStepSize)->text, "-1");
    playToTheEnd();
    EXPECT_EQ(player->current.load(), 0);

    // Loop: backwards from the first frame it starts at the last and wraps; it plays on
    // past the time of the whole range until it is stopped.
    ClickApart(PageSlot(transport, kTransportLoop));
    EXPECT_EQ(player->flags.load() & kFramePlayerLoop, kFramePlayerLoop);
    ClickApart(PageSlot(transport, kTransportPlay));
    EXPECT_TRUE(TheEventTimer().Running());
    PumpFor(1200);
    EXPECT_TRUE(TheEventTimer().Running());
    ClickApart(PageSlot(transport, kTransportPlay));
    PumpFor(100);
    EXPECT_FALSE(TheEventTimer().Running());
    ClickApart(PageSlot(transport, kTransportLoop));
    ClickApart(PageSlot(transport, kTransportReverse));
    EXPECT_EQ(player->flags.load() & (kFramePlayerLoop | kFramePlayerReverse), 0);
    EXPECT_EQ(player->step.load(), 1);
}

TEST_F(WorkspacePagesProgram, TheZoomBarsPresetsAndTheGridShowInTheCell) {
    const std::string path = folder.File("bars.fits");
    // 64 x 48: bright columns every 8 pixels on a mid grey.
    if (!RunPython(path + ".py", "import numpy as np\n"
                                 "from astropy.io import fits\n"
                                 "a = np.full((48, 64), 1000, np.int16)\n"
                                 "a[:, ::8] = 4000\n"
                                 "a[0, 0] = 0\n"
                                 "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n"))
        GTEST_SKIP() << "no astropy";
    // Before a file is open the grid menu has nothing to act on: every entry is disabled
    // and unchecked.
    ws = AsWorkspace(cui().groups[0].workspace);
    ASSERT_NE(ws, nullptr);
    UIElement* bar = OpenPage(kWsIdZoomBar, kWsPageZoomBar);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(ws->activeCell, nullptr);
    // Each menu of the bar opens 4 pixels before the right end of its button, half the
    // button's height down (or, with no room left of the screen's edge, flipped to the
    // left or upwards): the bar lies in its window's top-right corner, where x counts from
    // the right edge, so the right end is the window's width less the button's x.
    auto expectOpenedAt = [&](const gElement* button, const char* what) {
        gMenuHost* menus = gMenuHostPeek();
        ASSERT_TRUE(menus != nullptr && menus->open) << what;
        platform::Rect r{};
        ASSERT_TRUE(platform::GetWindowRect(menus->mainWindow->hwnd, &r)) << what;
        const gWindow* w = button->window;
        platform::Point end{static_cast<int32_t>(static_cast<float>(w->clientWidth) - button->x),
                            static_cast<int32_t>(button->y + button->height * 0.5f)};
        ASSERT_TRUE(platform::ClientToScreen(w->hwnd, &end)) << what;
        const int32_t width = r.right - r.left, height = r.bottom - r.top;
        const int32_t anchor = static_cast<int32_t>(button->width) - 8;
        EXPECT_EQ(r.left, menus->flipLeft ? end.x - 4 - (anchor - 3 + width) : end.x - 4) << what;
        EXPECT_EQ(r.top, menus->flipUp ? end.y - height : end.y) << what;
        // Not at the mirrored place: unflipped, the menu starts over the button itself.
        if (!menus->flipLeft) {
            EXPECT_GT(r.left, end.x - static_cast<int32_t>(button->width)) << what;
            EXPECT_LT(r.left, end.x) << what;
        }
    };
    GridMenuOpen(ws, PageSlot(bar, kZoomGrid));
    expectOpenedAt(PageSlot(bar, kZoomGrid), "grid");
    gMenuCloseAll();
    ASSERT_TRUE(ToolMenuLive(GridMenu()));
    for (uint32_t id = 1; id <= 11; ++id)
        EXPECT_EQ(std::tuple(ToolMenuItem(GridMenu(), id)->state, ToolMenuItem(GridMenu(), id)->check),
                  std::tuple(1, 0)) << id;
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    ASSERT_EQ(WorkspaceOpenPage(ws, kWsPageZoomBar), bar);
    auto* image = dynamic_cast<Image2DDevice*>(cell->Device());
    ASSERT_NE(image, nullptr);
    gWindow* host = cell->window;
    const gElement* view = cell->widget;
    ASSERT_TRUE(host != nullptr && view != nullptr);
    // The distance of the bright columns in the cell, across (x) or down the picture: the
    // first two column starts of a row (the picture turned: of a column).
    auto period = [&] {
        PaintWindow(host);
        const std::vector<uint8_t> pixels = ReadBack(host);
        auto bright = [&](int x, int y) {
            return x >= 0 && pixels[(static_cast<size_t>(y) * host->clientWidth + x) * 3] > 200;
        };
        for (int y = 0; y < host->clientHeight; ++y) {
            std::vector<int> starts;
            for (int x = 0; x < host->clientWidth && starts.size() < 2; ++x)
                if (bright(x, y) && !bright(x - 1, y)) starts.push_back(x);
            if (starts.size() == 2) return starts[1] - starts[0];
        }
        return 0;
    };
    ZoomPresetChoose(ws, 1, 3);  // 100 %
    ZoomPresetChoose(ws, 0, 3);
    PumpFor(100);
    EXPECT_EQ(period(), 8);
    ZoomPresetChoose(ws, 1, 2);  // "200%" of the first factor, then of the second
    ZoomPresetChoose(ws, 0, 2);
    PumpFor(100);
    EXPECT_EQ(PageSlot(bar, kZoomFirstField)->text, "200%");
    EXPECT_EQ(PageSlot(bar, kZoomSecondField)->text, "200%");
    EXPECT_EQ(std::tuple(image->view.scaledWidth, image->view.scaledHeight), std::tuple(128, 96));
    EXPECT_EQ(period(), 16);

    // The preset menus check the factor they show; the second one serves 1:1.
    ZoomPresetMenuOpen(PageSlot(bar, kZoomFirstMenu), reinterpret_cast<uintptr_t>(bar));
    expectOpenedAt(PageSlot(bar, kZoomFirstMenu), "first factor presets");
    gMenuCloseAll();
    ZoomPresetMenuOpen(PageSlot(bar, kZoomSecondMenu), reinterpret_cast<uintptr_t>(bar));
    expectOpenedAt(PageSlot(bar, kZoomSecondMenu), "second factor presets");
    gMenuCloseAll();
    std::vector<int32_t> checks;
    for (uint32_t id = 1; id <= 8; ++id) checks.push_back(ToolMenuItem(ZoomPresetMenu(1), id)->check);
    EXPECT_EQ(checks, (std::vector<int32_t>{0, 0, 1, 0, 0, 0, 0, 0}));

    // The grid menu: seventeen rows, the grid's ids 1 to 11 and the rulers' 12 to 14, the
    // chart entries disabled on a bitmap.
    GridMenuOpen(ws, PageSlot(bar, kZoomGrid));
    ToolMenu* grid = GridMenu();
    ASSERT_TRUE(ToolMenuLive(grid));
    gMenuCloseAll();
    ASSERT_EQ(grid->rows.size(), 17u);
    for (uint32_t id = 1; id <= 14; ++id) {
        ASSERT_NE(ToolMenuItem(grid, id), nullptr) << id;
        EXPECT_EQ(ToolMenuItem(grid, id)->state, id >= 9 && id <= 11 ? 1 : 0) << id;
    }
    // "Grid" from the menu draws vertical lines 40 pixels apart over the picture.
    GridMenuChoose(ws, 3);  // vertical lines only...
    GridMenuChoose(ws, 2);
    cell->grid.vertical = 1;
    cell->grid.horizontal = 0;
    cell->grid.x.major = 40;
    GridMenuChoose(ws, 1);
    EXPECT_EQ(cell->grid.shown, 1);
    PaintWindow(host);
    const int y = static_cast<int>(view->y) + 30;
    const Rgb line = PixelAt(host, static_cast<int>(view->x) + 40, y);
    EXPECT_TRUE(RgbNear(line, Rgb{128, 128, 128}, 3)) << line;
    EXPECT_FALSE(Near(PixelAt(host, static_cast<int>(view->x) + 42, y), Rgb{128, 128, 128}, 3));

    // The background menu lists the image window's colours, the current one checked.
    ZoomBackgroundMenuOpen(PageSlot(bar, kZoomBackground), reinterpret_cast<uintptr_t>(bar));
    expectOpenedAt(PageSlot(bar, kZoomBackground), "background colours");
    ToolMenu* bg = ZoomBackgroundMenu();
    ASSERT_TRUE(ToolMenuLive(bg));
    gMenuCloseAll();
    ASSERT_NE(ToolMenuItem(bg, 1), nullptr);
    EXPECT_EQ(ToolMenuItem(bg, 1)->label, "Black");
    EXPECT_EQ(ToolMenuItem(bg, 0xFFFF)->label, "Select Color...");
    ZoomBackgroundChoose(ws, 1);
    EXPECT_EQ(cell->Graphics()->colours, 0x047F7F7Fu);
}

// A drag on the preview picture through the X server: press on the marker, move the
// pointer, release. Answers the window points pressed and released at.
void DragInPreview(const TextureView& preview, float fromX, float fromY, float byX, float byY) {
    const gElement* e = preview.widget;
    const gWindow* w = e->window;
    XRaiseWindow(XDisplay(), platform::X11WindowOf(w->hwnd));
    XSync(XDisplay(), False);
    FocusWindow(w);
    // The view's own coordinates run upwards from its lower left corner.
    auto at = [&](float x, float y) {
        return std::pair{static_cast<int>(e->x + x), static_cast<int>(static_cast<float>(w->clientHeight) - e->y - y)};
    };
    auto [x0, y0] = at(fromX, fromY);
    // The first motion into a window only enters it.
    FakeMotionIn(w, x0 + 3, y0 + 3, 60);
    FakeMotionIn(w, x0, y0, 60);
    FakeButton(true);
    PumpFor(60);
    for (int step = 1; step <= 4; ++step) {
        auto [x, y] = at(fromX + byX * step / 4, fromY + byY * step / 4);
        FakeMotionIn(w, x, y, 60);
    }
    FakeButton(false);
    PumpFor(100);
}

TEST_F(WorkspacePagesProgram, DraggingThePreviewMovesTheImageAndTheMarkerFollows) {
    const std::string path = folder.File("wide.fits");
    // 1600 x 1200 samples, far larger than the cell: the view shows a part of the frame.
    if (!RunPython(path + ".py", "import numpy as np\n"
                                 "from astropy.io import fits\n"
                                 "y, x = np.mgrid[0:1200, 0:1600]\n"
                                 "fits.PrimaryHDU(((x + y) % 256).astype(np.int16)).writeto('" + path +
                                     "', overwrite=True)\n"))
        GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    // A page large enough that the marker of the view's part lies well inside the picture
    // wherever the view stands (at its least size the picture is 40 pixels high).
    if (UIWindowRecord* r = UIWindowRecordFind(ws->container, kWsIdValue); r != nullptr && r->element.window == nullptr) {
        r->width = 300;
        r->height = 260;
    }
    ASSERT_NE(OpenPage(kWsIdValue, kWsPageValue), nullptr);
    PumpFor(300);
    TextureView& preview = ws->preview;
    ASSERT_NE(preview.widget, nullptr);
    // At 100 % the view shows a part of the frame.
    ZoomPresetChoose(ws, 1, 3);
    ZoomPresetChoose(ws, 0, 3);
    PumpFor(100);
    // The preview scaled to the frame and covered by it, as the upload of its picture
    // leaves it.
    ASSERT_TRUE(preview.FitImage(TextureSize{1600, 1200}));
    preview.pictureWidth = static_cast<float>(preview.viewWidth);
    preview.pictureHeight = static_cast<float>(preview.viewHeight);
    DisplayRepaint(cell);
    ASSERT_EQ(preview.active, 1);
    const GraphicsHost& host = cell->host;
    // The marker is as large as the view, in preview pixels.
    EXPECT_NEAR(preview.markerWidth, host.width * preview.scaleX, 0.1);
    EXPECT_NEAR(preview.markerHeight, host.height * preview.scaleY, 0.1);
    // The marker is the view's rectangle on the frame's picture: with the frame's
    // corner at (x, y) in the view (y downwards), the marker's left edge stands x frame
    // pixels left of the picture's and its top y frame pixels above the picture's top
    // (the preview's y runs upwards; the picture stands as the view shows the frame).
    auto* image = dynamic_cast<Image2DDevice*>(cell->Device());
    ASSERT_NE(image, nullptr);
    const double frameX = std::trunc(image->view.originX) + host.offsetX;
    const double frameY = std::trunc(image->view.originY) + host.offsetY;
    EXPECT_NEAR(preview.markerX, preview.pictureX - frameX * preview.scaleX, 1.0);
    EXPECT_NEAR(preview.markerY + preview.markerHeight, preview.pictureY + (1200 + frameY) * preview.scaleY, 1.0)
        << frameY;
    struct Step {
        float dx, dy;
    };
    for (Step step : {Step{10, 0}, Step{0, 10}, Step{0, -20}, Step{-5, -5}}) {
        const float mx = preview.markerX, my = preview.markerY;
        const int32_t ox = host.offsetX, oy = host.offsetY;
        // Pressed on the part of the marker inside the picture.
        const float x0 = std::max(mx, 0.0f), x1 = std::min(mx + preview.markerWidth, preview.widget->width);
        const float y0 = std::max(my, 0.0f), y1 = std::min(my + preview.markerHeight, preview.widget->height);
        ASSERT_TRUE(x1 - x0 > 2 && y1 - y0 > 2) << mx << "," << my << " " << preview.markerWidth << "x" << preview.markerHeight << " in " << preview.widget->width << "x" << preview.widget->height << " host " << host.width << "x" << host.height << " off " << ox << "," << oy;
        DragInPreview(preview, (x0 + x1) / 2, (y0 + y1) / 2, step.dx, step.dy);
        // The view moved by the frame pixels under the dragged preview pixels (rounded at
        // each of the four steps), the way of the drag: a marker dragged right or down
        // shows a part further right or down, so the frame goes left or up in the view
        // (whose y runs down)...
        EXPECT_NEAR(host.offsetX - ox, -step.dx / preview.scaleX, 4.0) << step.dx << "," << step.dy;
        EXPECT_NEAR(host.offsetY - oy, step.dy / preview.scaleY, 4.0) << step.dx << "," << step.dy;
        // ...and the marker, placed again from the view, stands where it was dragged to.
        EXPECT_NEAR(preview.markerX - mx, step.dx, 0.5) << step.dx << "," << step.dy;
        EXPECT_NEAR(preview.markerY - my, step.dy, 0.5) << step.dx << "," << step.dy;
    }
}

TEST_F(WorkspacePagesProgram, TheZoomBarAndTheLensPageShowUnderTheWorkspace) {
    const std::string path = folder.File("small.fits");
    if (!RunPython(path + ".py", "import numpy as np\n"
                                 "from astropy.io import fits\n"
                                 "fits.PrimaryHDU(np.arange(64 * 48, dtype=np.int16).reshape(48, 64))"
                                 ".writeto('" + path + "', overwrite=True)\n"))
        GTEST_SKIP() << "no astropy";
    ASSERT_NE(Open(path), nullptr);
    PumpFor(200);
    WindowGroup& group = cui().groups[0];
    gWindow* main = group.windows[0];
    gWindow* host = ws->window;
    gWindow* bar = gWinValidate(group.windows[2]);
    gWindow* lens = gWinValidate(group.windows[3]);
    ASSERT_TRUE(main != nullptr && host != nullptr && bar != nullptr && lens != nullptr);
    // The "Chart Tools" window starts at the screen's foot, over the main window's lower
    // right corner; the user puts it away (F4) to see what lies under it.
    if (gWindow* tools = cui().groups[1].windows[0]) gWinShow(tools, false);
    // The page column beside the workspace widens, as it does when the Source's pages
    // come: the workspace and the strips under it move right.
    group.sideWidth += 240;
    WorkspaceLayout(host, &group, main->clientWidth, main->clientHeight, true);
    XRaiseWindow(XDisplay(), platform::X11WindowOf(main->hwnd));
    XSync(XDisplay(), False);
    PumpFor(100);
    // Where a window lies in the main window's client area.
    auto placed = [&](gWindow* w) {
        platform::Rect r{};
        EXPECT_TRUE(platform::GetWindowRect(w->hwnd, &r));
        platform::Point origin{0, 0};
        EXPECT_TRUE(platform::ClientToScreen(main->hwnd, &origin));
        return platform::Rect{r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
    };
    const platform::Rect h = placed(host), z = placed(bar), l = placed(lens);
    // The zoom bar directly under the workspace, the lens page under it, both as wide as
    // the workspace and inside the main window.
    EXPECT_EQ(std::tuple(z.left, z.top, z.right), std::tuple(h.left, h.bottom, h.right));
    EXPECT_EQ(std::tuple(l.left, l.top, l.right), std::tuple(h.left, z.bottom, h.right));
    EXPECT_LE(h.right, main->clientWidth);
    EXPECT_LE(l.bottom, main->clientHeight);
    // The widgets of both, laid out from the right edge, are there for the pointer.
    UIElement* lensPage = WorkspaceOpenPage(ws, kWsPageLens);
    UIElement* zoomPage = WorkspaceOpenPage(ws, kWsPageZoomBar);
    ASSERT_TRUE(lensPage != nullptr && zoomPage != nullptr);
    for (const gElement* e : {PageSlot(lensPage, kLensPageOn), PageSlot(lensPage, kLensPageZoom),
                              PageSlot(zoomPage, kZoomSecondField), PageSlot(zoomPage, kZoomBackground)}) {
        ASSERT_NE(e, nullptr);
        auto [x, y] = Middle(e);
        EXPECT_TRUE(x >= 0 && x < e->window->clientWidth && y >= 0 && y < e->window->clientHeight) << e->text;
        platform::Point screen{x, y};
        ASSERT_TRUE(platform::ClientToScreen(e->window->hwnd, &screen));
        EXPECT_EQ(platform::WindowFromPoint(screen), e->window->hwnd) << e->text;
    }
}

TEST_F(WorkspacePagesProgram, DraggingThePreviewPansASpectrum) {
    const std::string path = folder.File("spectrum.fits");
    if (!RunPython(path + ".py", "import numpy as np\n"
                                 "from astropy.io import fits\n"
                                 "x = np.arange(4000)\n"
                                 "fits.PrimaryHDU((1000 + 500 * np.sin(x / 50.0)).astype(np.float32))"
                                 ".writeto('" + path + "', overwrite=True)\n"))
        GTEST_SKIP() << "no astropy";
    InstallChartServices();
    // A spectrum goes to the "Chart Tools" window's workspace; its chart pans when the
    // preview is dragged.
    Open(path);
    ws = AsWorkspace(cui().groups[1].workspace);
    ASSERT_NE(ws, nullptr);
    uint32_t number = 1;
    DisplayComponent* cell = GetCellByNumber(ws, &number, true);
    ASSERT_NE(cell, nullptr);
    auto* chart = dynamic_cast<ChartWindow*>(cell->Graphics());
    ASSERT_NE(chart, nullptr);
    // The tool window opens no value page by itself (its chart is empty until something is
    // measured); asked for, it opens in that window.
    ASSERT_NE(OpenPage(kWsIdValue, kWsPageValue, gWinValidate(ws->group->windows[0])), nullptr);
    PumpFor(200);
    TextureView& preview = ws->preview;
    ASSERT_NE(preview.widget, nullptr);
    // The chart gave its cell's readout page its press and pan: the preview's press and
    // drag reach them (recorded here in their place, for the same window).
    GraphicsReadoutPage& page = cell->readoutPage;
    ASSERT_TRUE(page.dragPress != nullptr && page.drag != nullptr);
    ASSERT_EQ(page.dragData, static_cast<void*>(chart));
    struct Heard {
        int presses = 0;
        double dx = 0, dy = 0;
    };
    static Heard heard;
    heard = Heard{};
    page.dragPress = [](void*) { ++heard.presses; };
    page.drag = [](void*, double dx, double dy, uint32_t) {
        heard.dx += dx;
        heard.dy += dy;
    };
    // No strip was drawn into the preview here: it is shown as a drawn strip leaves it.
    preview.widget->shown = 1;
    DragInPreview(preview, preview.widget->width / 2, preview.widget->height / 2, 12, -6);
    EXPECT_EQ(heard.presses, 1);
    EXPECT_EQ(std::tuple(heard.dx, heard.dy), std::tuple(12.0, -6.0));
}

#endif

}  // namespace
}  // namespace orva
