// The image window in the program on the X server: a large FITS file written by astropy
// opens fitted and centred in cell 1 of the main window's workspace (the preferences
// "BitmapFitDefault" and "BitmapDefaultCenter" are on by default), and the keys that
// reach the cell through the workspace zoom it and hold move mode with its status text.
//
// Like the open-file test, it needs the open road and the image window.
#include <gtest/gtest.h>

#ifdef ORVA_OPEN_FILE_DISPLAY
#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "program_shell.h"
#include "app/graphics_window.h"
#include "app/image_window.h"
#include "framework/display_lock.h"
#include "main/display_services.h"
#include "test_support.h"
#include "toolkit/input.h"
#include "views/display_cell.h"
#include "views/open_data_files.h"
#include "views/workspace.h"
#endif

namespace orva {
namespace {

#ifndef ORVA_OPEN_FILE_DISPLAY

TEST(ImageWindowProgram, ALargeFileOpensFittedAndCentred) {
    GTEST_SKIP() << "this build has no open road or no image window";
}

#else

using namespace testing_util;
using testing_program::StageColour;

// A 16-bit frame of four quadrants of 100, 1000, 5000 and 20000 with a border of 30000,
// written by astropy.
bool WriteQuadrants(const std::string& path, int width, int height) {
    const std::string script =
        "import numpy as np\n"
        "from astropy.io import fits\n"
        "w, h = " + std::to_string(width) + ", " + std::to_string(height) + "\n"
        "a = np.empty((h, w), dtype=np.int16)\n"
        "a[:h//2, :w//2] = 100\n"
        "a[:h//2, w//2:] = 1000\n"
        "a[h//2:, :w//2] = 5000\n"
        "a[h//2:, w//2:] = 20000\n"
        "a[0, :] = a[-1, :] = a[:, 0] = a[:, -1] = 30000\n"
        "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n";
    return testing_program::RunPython(path + ".py", script);
}

class ImageWindowProgram : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        services_.emplace();
        InstallDisplayServices();
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Stop();
        services_.reset();
    }
    // Opens the file into cell 1 of "Layout" and lets the pipeline deliver.
    DisplayComponent* Open(const std::string& path) { return testing_program::OpenIntoCellOne(&cui(), path); }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
};

TEST_F(ImageWindowProgram, ALargeFileOpensFittedAndCentred) {
    const std::string path = folder.File("quadrants.fits");
    const int width = 3000, height = 2000;
    if (!WriteQuadrants(path, width, height)) GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    auto* window = dynamic_cast<Image2DWindow*>(cell->Graphics());
    ASSERT_NE(window, nullptr);
    Image2DDevice* device = window->Device();
    ASSERT_NE(device, nullptr);
    ASSERT_GT(cell->plotWidth, 100);
    ASSERT_GT(cell->plotHeight, 100);

    // The fit, computed here from the view's size: the frame holds more than 0x4000000 /
    // 24 pixels, so each side counts as at most 1182 pixels; the zoom is floored to
    // thousandths.
    const double availableX = cell->plotWidth - 2.0, availableY = cell->plotHeight - 2.0;
    const double sideX = std::min(width, 1182), sideY = std::min(height, 1182);
    const double zoom = std::floor(std::min(availableX / sideX, availableY / sideY) * 1000.0) / 1000.0;
    ASSERT_LT(zoom, 1.0);
    EXPECT_DOUBLE_EQ(device->view.zoom.x, zoom);
    EXPECT_DOUBLE_EQ(device->view.zoom.y, zoom);
    // Centred: the frame's origin lies half the room it leaves (or lacks) in.
    const double scaledX = std::ceil(width * zoom), scaledY = std::ceil(height * zoom);
    EXPECT_DOUBLE_EQ(device->view.originX, std::trunc((availableX - scaledX) / 2.0));
    EXPECT_DOUBLE_EQ(device->view.originY, std::trunc((availableY - scaledY) / 2.0));

    // On the screen: the quadrants meet at the middle of the view.
    gWindow* host = cell->window;
    PaintWindow(host);
    const int vx = static_cast<int>(cell->widget->x) + cell->host.offsetX;
    const int vy = static_cast<int>(cell->widget->y) + cell->host.offsetY;
    const double midX = device->view.originX + (width / 2) * zoom;
    const double midY = device->view.originY + (height / 2) * zoom;
    EXPECT_NEAR(midX, availableX / 2.0, 1.0);
    EXPECT_NEAR(midY, availableY / 2.0, 1.0);
    struct Probe {
        double dx, dy;      // view pixels from the quadrants' meeting point
        int64_t fx, fy;     // a frame pixel of that quadrant
    } probes[] = {{-20, -20, 10, 10}, {20, -20, width - 10, 10}, {-20, 20, 10, height - 10},
                  {20, 20, width - 10, height - 10}};
    for (const Probe& p : probes) {
        const Rgb want = StageColour(cell, p.fx, p.fy);
        const Rgb got = PixelAt(host, vx + static_cast<int>(midX + p.dx), vy + static_cast<int>(midY + p.dy));
        EXPECT_TRUE(RgbNear(got, want, 0)) << p.dx << ", " << p.dy;
    }
    const std::vector<uint8_t> pixels = ReadBack(host);
    ScreenImage shot;
    shot.width = host->clientWidth;
    shot.height = host->clientHeight;
    for (int y = shot.height - 1; y >= 0; --y) {
        const uint8_t* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(shot.width) * 3;
        for (int x = 0; x < shot.width; ++x) shot.pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
    }
    EXPECT_TRUE(shot.SavePpm(std::string(ORVA_BINARY_DIR) + "/image_window_fit.ppm"));
}

TEST_F(ImageWindowProgram, KeysThroughTheWorkspace) {
    const std::string path = folder.File("small.fits");
    if (!WriteQuadrants(path, 200, 120)) GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    auto* window = dynamic_cast<Image2DWindow*>(cell->Graphics());
    ASSERT_NE(window, nullptr);
    gWindow* host = cell->window;
    ASSERT_NE(host, nullptr);
    // A small frame is not zoomed; keypad + zooms both axes by a hundredth.
    EXPECT_DOUBLE_EQ(window->Device()->view.zoom.x, 1.0);
    EXPECT_TRUE(WorkspaceOnKeyPress(host, kKeyPadAdd));
    EXPECT_DOUBLE_EQ(window->Device()->view.zoom.x, 1.01);
    EXPECT_DOUBLE_EQ(window->Device()->view.zoom.y, 1.01);
    // Space holds move mode: the move cursor and the status text; its release gives
    // the view's own cursor back and "Ready".
    gElement* view = cell->widget;
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->cursor, platform::LoadCursor(kImageCursorView));
    EXPECT_TRUE(WorkspaceOnKeyPress(host, ' '));
    EXPECT_EQ(view->cursor, platform::LoadCursor(kImageCursorMove));
    EXPECT_EQ(cui().groups[0].statusWidget->text, "+[Alt] key - move obj");
    EXPECT_TRUE(WorkspaceOnKeyRelease(host, ' '));
    EXPECT_EQ(view->cursor, platform::LoadCursor(kImageCursorView));
    EXPECT_EQ(cui().groups[0].statusWidget->text, "Ready");
    // Ctrl+5 centres the frame in the view, Ctrl+0 brings the view back.
    const int32_t ox = cell->host.offsetX, oy = cell->host.offsetY;
    EXPECT_TRUE(WorkspaceOnKeyPress(host, '5' | kKeyCtrlL));
    const ImageViewRecord& v = window->Device()->view;
    EXPECT_NEAR(cell->host.offsetX + v.originX + v.scaledWidth / 2.0, cell->plotWidth / 2.0, 1.0);
    EXPECT_TRUE(WorkspaceOnKeyPress(host, '0' | kKeyCtrlL));
    EXPECT_EQ(cell->host.offsetX, ox);
    EXPECT_EQ(cell->host.offsetY, oy);
}

#endif

}  // namespace
}  // namespace orva
